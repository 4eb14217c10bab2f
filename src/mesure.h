#pragma once

// Charge value the power-status call reports when it cannot tell.
inline constexpr int pourcentageInconnu = 255;

// Battery charge now, in whole percent, as the system reports it (0..255,
// 255 meaning unknown). Asks the system afresh on every call.
int obtenirPourcentage();

// True when the system says the computer runs on mains power.
bool estSurSecteur();

// Keeps one processor busy with floating-point work for delai seconds
// (nothing at all when delai is 0 or less) and returns delai.
int boucle(int delai);
