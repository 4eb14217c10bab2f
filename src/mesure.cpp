#include "mesure.h"

#include <chrono>

#include "alimentation.h"

int obtenirPourcentage()
{
    SYSTEM_POWER_STATUS batterie{};
    if (GetSystemPowerStatus(&batterie) == 0) {
        return pourcentageInconnu;
    }
    // An unsigned byte: widened as is, 255 stays 255.
    return batterie.BatteryLifePercent;
}

bool estSurSecteur()
{
    SYSTEM_POWER_STATUS batterie{};
    return GetSystemPowerStatus(&batterie) != 0 && batterie.ACLineStatus == 1;
}

int boucle(int delai)
{
    // volatile: every pass must really multiply and store, since that work
    // is the load whose cost the test measures.
    volatile float nombreComplexe = 10.3F;
    const auto curr = std::chrono::steady_clock::now();
    const auto duree = std::chrono::seconds(delai);
    // A monotonic clock: setting the system clock during the test must not
    // shorten or stretch the load.
    while (std::chrono::steady_clock::now() - curr < duree) {
        nombreComplexe = static_cast<float>(nombreComplexe * 3.14);
    }
    return delai;
}
