#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

// Estimated battery life in minutes for a loss argument (points lost plus
// one) over delai seconds; nullopt when the argument is below 1, that is
// when the charge rose during the test.
std::optional<std::int64_t> calculerEstimation(int pourcentagePerdu, int delai);

// Reads a duration as "%d" would (leading white space skipped, a sign
// accepted, the number ends at the first other character); nullopt when
// there is no number, it leaves the int range, or it is not above 0.
std::optional<int> lireDuree(std::FILE* entree);

// Drops the rest of the current input line, so that it cannot answer a
// later wait for a key. Does not block once the input has ended.
void ignorerFinDeLigne(std::FILE* entree);
