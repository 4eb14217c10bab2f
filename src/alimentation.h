#pragma once

// The power-status record and call the gauge reads. Windows has them; on
// Linux a small layer of ours answers the same call from sysfs.
#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>

struct SYSTEM_POWER_STATUS {
    unsigned char ACLineStatus;        // 0 on battery, 1 on mains, 255 unknown
    unsigned char BatteryLifePercent;  // 0..100, 255 unknown
};

// Fills *etat from /sys/class/power_supply; non-zero on success, as on
// Windows. A missing battery is a success with 255 as the charge.
int GetSystemPowerStatus(SYSTEM_POWER_STATUS* etat);

struct EtatAlimentation {
    int pourcentage;  // 0..100, or 255 when no battery can be read
    bool surSecteur;  // a mains or USB supply is online
};

// Reads a power-supply class tree such as /sys/class/power_supply.
EtatAlimentation lireAlimentation(const std::filesystem::path& dossier);
#endif
