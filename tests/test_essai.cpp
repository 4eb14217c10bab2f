#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "essai.h"

namespace {

struct CasEstimation {
    int argument;  // points lost plus one
    int delai;
    std::optional<std::int64_t> minutes;
};

// The documented table (argument → minutes for 60, 120 and 300 s), the edges
// of the duration, and the charge that rose.
TEST(Estimation, tableDesPertes)
{
    const CasEstimation cas[] = {
        {1, 60, 100},
        {1, 120, 200},
        {1, 300, 500},
        {2, 60, 50},
        {2, 120, 100},
        {2, 300, 250},
        {3, 60, 33},
        {3, 120, 66},
        {3, 300, 165},
        {4, 60, 25},
        {4, 120, 50},
        {4, 300, 125},
        {5, 60, 20},
        {5, 120, 40},
        {5, 300, 100},
        {6, 60, 16},
        {6, 120, 32},
        {6, 300, 80},
        {10, 60, 10},
        {10, 120, 20},
        {10, 300, 50},
        {20, 60, 5},
        {20, 120, 10},
        {20, 300, 25},
        {50, 60, 2},
        {50, 120, 4},
        {50, 300, 10},
        {51, 60, 1},
        {100, 120, 2},
        {100, 300, 5},
        {101, 60, 0},
        {255, 300, 0},
        {1, 59, 98},
        {1, 1, 1},
        // q × delai leaves 32 bits: 100 × INT_MAX / 60.
        {1, INT_MAX, 3579139411LL},
        {3, INT_MAX, 1181116005LL},
        // The charge rose: no estimate.
        {0, 120, std::nullopt},
        {-5, 120, std::nullopt},
    };
    for (const auto& c : cas) {
        EXPECT_EQ(calculerEstimation(c.argument, c.delai), c.minutes)
            << "argument " << c.argument << ", delai " << c.delai;
    }
}

std::optional<int> lire(const std::string& texte, std::string* reste = nullptr)
{
    std::string copie = texte;
    // fmemopen refuses an empty buffer; /dev/null is the empty input.
    std::FILE* f = copie.empty() ? std::fopen("/dev/null", "r") : fmemopen(copie.data(), copie.size(), "r");
    const auto valeur = lireDuree(f);
    if (reste != nullptr) {
        ignorerFinDeLigne(f);
        reste->clear();
        for (int c = std::getc(f); c != EOF; c = std::getc(f)) {
            reste->push_back(static_cast<char>(c));
        }
    }
    std::fclose(f);
    return valeur;
}

TEST(Duree, lueCommeLeFaitPourcentD)
{
    const struct {
        const char* entree;
        std::optional<int> duree;
    } cas[] = {
        {"120\n", 120},
        {"  \t 5\n", 5},
        {"\n\n  \n7\n", 7},  // blank lines are skipped
        {"+3\n", 3},
        {"3abc\n", 3},  // the rest of the line is not part of the number
        {"3 4\n", 3},
        {"007", 7},  // end of input right after the number
        {"2147483647\n", INT_MAX},
        {"2147483648\n", std::nullopt},
        {"99999999999999999999999\n", std::nullopt},
        {"0\n", std::nullopt},
        {"-0\n", std::nullopt},
        {"-60\n", std::nullopt},
        {"-2147483649\n", std::nullopt},
        {"abc\n", std::nullopt},
        {"+\n", std::nullopt},
        {"- 5\n", std::nullopt},
        {"\n", std::nullopt},
        {"", std::nullopt},
        {"1.5\n", 1},
        {"\xE9"
         "12\n",
         std::nullopt},
    };
    for (const auto& c : cas) {
        EXPECT_EQ(lire(c.entree), c.duree) << "entree \"" << c.entree << "\"";
    }
}

// After the duration, the rest of its line is dropped and the next line kept,
// whether the number was good or not.
TEST(Duree, finDeLigneIgnoree)
{
    const struct {
        const char* entree;
        const char* reste;
    } cas[] = {
        {"5 et la suite\nx", "x"}, {"abc def\ny\n", "y\n"}, {"5\n\nz", "\nz"}, {"5", ""}, {"99999999999 9\nk", "k"},
    };
    for (const auto& c : cas) {
        std::string reste;
        lire(c.entree, &reste);
        EXPECT_EQ(reste, c.reste) << "entree \"" << c.entree << "\"";
    }
}

}  // namespace
