// Fuzzes the reading of a power-supply tree: the input is decoded into a
// small tree of entries and attribute files with arbitrary contents, which
// must read as 0..100 or 255, the same twice, without a crash or a hang.
//
// Input: one byte for the number of entries (1 to 4); then, per entry, one
// byte for its number of files (0 to 7), and per file one byte choosing the
// attribute, one byte for the length (0 to 31), and that many bytes of
// contents. Missing bytes read as 0.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "alimentation.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* attributs[] = {
    "type",       "scope",       "present",    "online",      "capacity",           "energy_full",
    "energy_now", "charge_full", "charge_now", "voltage_now", "voltage_min_design", "status",
};

struct Lecteur {
    const std::uint8_t* donnees;
    std::size_t taille;
    std::size_t position = 0;

    std::uint8_t octet() { return position < taille ? donnees[position++] : 0; }
};

const fs::path& racine()
{
    static const fs::path chemin = [] {
        const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        return base / ("fuzz-alimentation-" + std::to_string(::getpid()));
    }();
    return chemin;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille)
{
    Lecteur lecteur{donnees, taille};
    fs::remove_all(racine());
    const int entrees = lecteur.octet() % 4 + 1;
    for (int e = 0; e < entrees; ++e) {
        const fs::path entree = racine() / ("e" + std::to_string(e));
        fs::create_directories(entree);
        const int fichiers = lecteur.octet() % 8;
        for (int f = 0; f < fichiers; ++f) {
            const char* nom = attributs[lecteur.octet() % std::size(attributs)];
            std::string contenu(lecteur.octet() % 32, '\0');
            for (char& c : contenu) {
                c = static_cast<char>(lecteur.octet());
            }
            std::ofstream(entree / nom, std::ios::binary) << contenu;
        }
    }
    const EtatAlimentation premier = lireAlimentation(racine());
    const EtatAlimentation second = lireAlimentation(racine());
    if ((premier.pourcentage < 0 || premier.pourcentage > 100) && premier.pourcentage != 255) {
        std::abort();
    }
    if (premier.pourcentage != second.pourcentage || premier.surSecteur != second.surSecteur) {
        std::abort();
    }
    return 0;
}
