#include "essai.h"

#include <climits>

std::optional<std::int64_t> calculerEstimation(int pourcentagePerdu, int delai)
{
    if (pourcentagePerdu < 1) {
        return std::nullopt;
    }
    // 100 is divided first, so q only takes whole values (a loss argument of
    // 3 gives 33, not 33 1/3); 64 bits keep q × delai exact for any delai.
    const std::int64_t q = 100 / pourcentagePerdu;
    const std::int64_t dureeBatterieEstimee = q * delai / 60;
    return dureeBatterieEstimee;
}

namespace {

bool estBlanc(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool estChiffre(int c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<int> lireDuree(std::FILE* entree)
{
    int c = std::getc(entree);
    while (estBlanc(c)) {
        c = std::getc(entree);
    }
    const bool negatif = c == '-';
    if (c == '-' || c == '+') {
        c = std::getc(entree);
    }
    if (!estChiffre(c)) {
        if (c != EOF) {
            std::ungetc(c, entree);
        }
        return std::nullopt;
    }
    // Digits are read to the end even past the int range, so that a huge
    // number is refused whole rather than cut into a smaller one.
    std::int64_t valeur = 0;
    bool horsBornes = false;
    for (; estChiffre(c); c = std::getc(entree)) {
        if (!horsBornes) {
            valeur = valeur * 10 + (c - '0');
            horsBornes = valeur > INT_MAX;
        }
    }
    if (c != EOF) {
        std::ungetc(c, entree);
    }
    if (horsBornes || negatif || valeur == 0) {
        return std::nullopt;
    }
    return static_cast<int>(valeur);
}

void ignorerFinDeLigne(std::FILE* entree)
{
    if (std::feof(entree) != 0 || std::ferror(entree) != 0) {
        return;
    }
    for (int c = std::getc(entree); c != EOF && c != '\n'; c = std::getc(entree)) {}
}
