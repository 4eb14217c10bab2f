// Linux stand-in for the Windows power-status call: reads the kernel's
// power-supply class.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "alimentation.h"

namespace {

namespace fs = std::filesystem;

// Attribute files hold a word or a number; anything longer is not one.
constexpr std::size_t tailleMaxAttribut = 64;

// Contents of one attribute file, trimmed; nullopt when it is missing,
// unreadable, empty, too long or not a regular file. Opened without blocking
// so that a stray FIFO or device can never hang the gauge.
std::optional<std::string> lireAttribut(const fs::path& dossier, const char* nom)
{
    const int fd = ::open((dossier / nom).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::array<char, tailleMaxAttribut + 1> tampon{};
    std::size_t lus = 0;
    struct stat etat {};
    bool valable = ::fstat(fd, &etat) == 0 && S_ISREG(etat.st_mode);
    while (valable && lus < tampon.size()) {
        const ssize_t n = ::read(fd, tampon.data() + lus, tampon.size() - lus);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            valable = false;
        } else {
            lus += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (!valable || lus > tailleMaxAttribut) {
        return std::nullopt;
    }
    std::string_view texte(tampon.data(), lus);
    const auto debut = texte.find_first_not_of(" \t\r\n");
    if (debut == std::string_view::npos) {
        return std::nullopt;
    }
    texte = texte.substr(debut, texte.find_last_not_of(" \t\r\n") - debut + 1);
    return std::string(texte);
}

std::optional<long long> lireNombre(const fs::path& dossier, const char* nom)
{
    const auto texte = lireAttribut(dossier, nom);
    if (!texte) {
        return std::nullopt;
    }
    long long valeur = 0;
    const char* fin = texte->data() + texte->size();
    const auto [ptr, erreur] = std::from_chars(texte->data(), fin, valeur);
    if (erreur != std::errc{} || ptr != fin) {
        return std::nullopt;
    }
    return valeur;
}

bool attributVaut(const fs::path& dossier, const char* nom, std::string_view valeur)
{
    const auto texte = lireAttribut(dossier, nom);
    return texte && *texte == valeur;
}

// Wireless mice, keyboards and pens report their own batteries with scope
// Device: they say nothing of the computer's supply.
bool estDuSysteme(const fs::path& dossier)
{
    return !attributVaut(dossier, "scope", "Device");
}

struct Reserve {
    double maintenant;
    double plein;
    bool enEnergie;  // µWh; otherwise µAh
};

struct Batterie {
    std::optional<long long> capacite;
    std::optional<Reserve> reserve;
    std::optional<long long> tension;  // µV, to turn µAh into µWh
};

// Full and present charge in one unit: energy when the battery gives it,
// else charge; a missing present value is derived from the capacity.
std::optional<Reserve> lireReserve(const fs::path& dossier, std::optional<long long> capacite)
{
    for (const bool enEnergie : {true, false}) {
        const auto plein = lireNombre(dossier, enEnergie ? "energy_full" : "charge_full");
        if (!plein || *plein <= 0) {
            continue;
        }
        const auto maintenant = lireNombre(dossier, enEnergie ? "energy_now" : "charge_now");
        const double pleinD = static_cast<double>(*plein);
        if (maintenant && *maintenant >= 0) {
            return Reserve{std::min(static_cast<double>(*maintenant), pleinD), pleinD, enEnergie};
        }
        if (capacite) {
            const auto part = std::clamp(*capacite, 0LL, 100LL);
            return Reserve{pleinD * static_cast<double>(part) / 100.0, pleinD, enEnergie};
        }
        return std::nullopt;
    }
    return std::nullopt;
}

Batterie lireBatterie(const fs::path& dossier)
{
    Batterie batterie;
    batterie.capacite = lireNombre(dossier, "capacity");
    batterie.reserve = lireReserve(dossier, batterie.capacite);
    for (const char* nom : {"voltage_min_design", "voltage_now"}) {
        const auto tension = lireNombre(dossier, nom);
        if (tension && *tension > 0) {
            batterie.tension = tension;
            break;
        }
    }
    return batterie;
}

// 100 × Σnow / Σfull over the batteries that hold something, in µWh when
// their units differ; nullopt when there is nothing to add up, or a charge
// cannot be turned into energy for lack of a voltage.
std::optional<double> pourcentageDesReserves(const std::vector<Batterie>& batteries)
{
    bool enEnergie = false;
    bool enCharge = false;
    for (const auto& batterie : batteries) {
        if (batterie.reserve) {
            (batterie.reserve->enEnergie ? enEnergie : enCharge) = true;
        }
    }
    if (!enEnergie && !enCharge) {
        return std::nullopt;
    }
    const bool convertir = enEnergie && enCharge;
    double maintenant = 0.0;
    double plein = 0.0;
    for (const auto& batterie : batteries) {
        if (!batterie.reserve) {
            continue;
        }
        double facteur = 1.0;
        if (convertir && !batterie.reserve->enEnergie) {
            if (!batterie.tension) {
                return std::nullopt;
            }
            facteur = static_cast<double>(*batterie.tension) / 1e6;
        }
        maintenant += batterie.reserve->maintenant * facteur;
        plein += batterie.reserve->plein * facteur;
    }
    return 100.0 * maintenant / plein;
}

std::optional<double> moyenneDesCapacites(const std::vector<Batterie>& batteries)
{
    double somme = 0.0;
    int nombre = 0;
    for (const auto& batterie : batteries) {
        if (batterie.capacite) {
            somme += static_cast<double>(std::clamp(*batterie.capacite, 0LL, 100LL));
            ++nombre;
        }
    }
    if (nombre == 0) {
        return std::nullopt;
    }
    return somme / nombre;
}

std::optional<double> pourcentageDe(const std::vector<Batterie>& batteries)
{
    if (batteries.size() == 1 && batteries.front().capacite) {
        // What the desktop's own indicator shows.
        return static_cast<double>(*batteries.front().capacite);
    }
    // Several batteries weigh by size: an empty phantom battery, or a small
    // one beside a large one, must not count as much as the main battery.
    if (const auto somme = pourcentageDesReserves(batteries)) {
        return somme;
    }
    return moyenneDesCapacites(batteries);
}

}  // namespace

EtatAlimentation lireAlimentation(const fs::path& dossier)
{
    std::vector<Batterie> batteries;
    bool surSecteur = false;
    std::error_code erreur;
    for (fs::directory_iterator it(dossier, erreur), fin; !erreur && it != fin; it.increment(erreur)) {
        const fs::path& entree = it->path();
        const auto type = lireAttribut(entree, "type");
        if (!type || !estDuSysteme(entree)) {
            continue;
        }
        // Names vary (BAT0, BAT1, CMB0, battery...): only the type counts.
        if (*type == "Battery") {
            if (!attributVaut(entree, "present", "0")) {
                batteries.push_back(lireBatterie(entree));
            }
        } else if (*type == "Mains" || *type == "USB") {
            surSecteur = surSecteur || attributVaut(entree, "online", "1");
        }
    }
    int pourcentage = 255;
    if (const auto valeur = pourcentageDe(batteries); valeur && std::isfinite(*valeur)) {
        pourcentage = static_cast<int>(std::lround(std::clamp(*valeur, 0.0, 100.0)));
    }
    return EtatAlimentation{pourcentage, surSecteur};
}

int GetSystemPowerStatus(SYSTEM_POWER_STATUS* etat)
{
    if (etat == nullptr) {
        return 0;
    }
    const EtatAlimentation lu = lireAlimentation("/sys/class/power_supply");
    etat->ACLineStatus = lu.surSecteur ? 1 : 0;
    etat->BatteryLifePercent = static_cast<unsigned char>(lu.pourcentage);
    return 1;
}
