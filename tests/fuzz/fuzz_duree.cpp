// Fuzzes the reading of the duration: any bytes in, a duration above 0 and in
// the int range, or none, out; and the rest of the number's line dropped.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "essai.h"

namespace {

bool estBlanc(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool estChiffre(char c)
{
    return c >= '0' && c <= '9';
}

struct Attendu {
    std::optional<int> duree;
    std::string_view reste;  // what the next read must see
};

// What "%d" plus the checks would make of the text, worked out on the
// whole text at once rather than a character at a time.
Attendu attendu(std::string_view texte)
{
    std::size_t i = 0;
    while (i < texte.size() && estBlanc(texte[i])) {
        ++i;
    }
    const bool negatif = i < texte.size() && texte[i] == '-';
    if (i < texte.size() && (texte[i] == '-' || texte[i] == '+')) {
        ++i;
    }
    std::size_t fin = i;
    while (fin < texte.size() && estChiffre(texte[fin])) {
        ++fin;
    }
    std::optional<int> duree;
    std::string_view chiffres = texte.substr(i, fin - i);
    while (!chiffres.empty() && chiffres.front() == '0') {
        chiffres.remove_prefix(1);
    }
    if (fin > i && !negatif && !chiffres.empty() && chiffres.size() <= 10) {
        const long long valeur = std::stoll(std::string(chiffres));
        if (valeur <= INT_MAX) {
            duree = static_cast<int>(valeur);
        }
    }
    const std::size_t ligne = texte.find('\n', fin);
    return {duree, ligne == std::string_view::npos ? std::string_view() : texte.substr(ligne + 1)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille)
{
    if (taille == 0) {
        return 0;  // fmemopen takes no empty buffer
    }
    std::string texte(reinterpret_cast<const char*>(donnees), taille);
    const Attendu prevu = attendu(texte);
    std::string tampon = texte;
    std::FILE* entree = fmemopen(tampon.data(), tampon.size(), "r");
    if (entree == nullptr) {
        return 0;
    }
    const std::optional<int> duree = lireDuree(entree);
    ignorerFinDeLigne(entree);
    std::string reste;
    for (int c = std::getc(entree); c != EOF; c = std::getc(entree)) {
        reste.push_back(static_cast<char>(c));
    }
    std::fclose(entree);
    if (duree && *duree <= 0) {
        std::abort();  // a duration of 0 or less must never be accepted
    }
    if (duree != prevu.duree || reste != prevu.reste) {
        std::abort();
    }
    return 0;
}
