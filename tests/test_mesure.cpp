#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "alimentation.h"
#include "mesure.h"

namespace {

namespace fs = std::filesystem;

// "ENTRY/attribute" → contents; "<fifo>" makes a named pipe, "<dossier>" a
// directory, in place of the file.
using Arbre = std::vector<std::pair<std::string, std::string>>;

// A power-supply tree in a fresh temporary directory, removed afterwards.
class ArbreTemporaire {
public:
    explicit ArbreTemporaire(const Arbre& fichiers)
    {
        std::string modele = (fs::temp_directory_path() / "alimentation-XXXXXX").string();
        racine_ = mkdtemp(modele.data()) != nullptr ? modele : throw std::runtime_error("mkdtemp");
        for (const auto& [chemin, contenu] : fichiers) {
            const fs::path fichier = racine_ / chemin;
            fs::create_directories(fichier.parent_path());
            if (contenu == "<fifo>") {
                mkfifo(fichier.c_str(), 0600);
            } else if (contenu == "<dossier>") {
                fs::create_directory(fichier);
            } else {
                std::ofstream(fichier) << contenu;
            }
        }
    }
    ~ArbreTemporaire() { fs::remove_all(racine_); }
    ArbreTemporaire(const ArbreTemporaire&) = delete;
    ArbreTemporaire& operator=(const ArbreTemporaire&) = delete;
    const fs::path& racine() const { return racine_; }

private:
    fs::path racine_;
};

struct CasPourcentage {
    const char* nom;
    Arbre arbre;
    int pourcentage;
};

void PrintTo(const CasPourcentage& cas, std::ostream* flux)
{
    *flux << cas.nom;
}

class Pourcentage : public testing::TestWithParam<CasPourcentage> {};

TEST_P(Pourcentage, lu)
{
    const ArbreTemporaire arbre(GetParam().arbre);
    EXPECT_EQ(lireAlimentation(arbre.racine()).pourcentage, GetParam().pourcentage);
}

Arbre batterie(const std::string& nom, const Arbre& attributs)
{
    Arbre arbre{{nom + "/type", "Battery\n"}};
    for (const auto& [attribut, contenu] : attributs) {
        arbre.emplace_back(nom + "/" + attribut, contenu);
    }
    return arbre;
}

Arbre operator+(Arbre a, const Arbre& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Arbres, Pourcentage,
    testing::Values(
        // The capacity is what the desktop shows, even when the sums disagree.
        CasPourcentage{
            "capaciteSeule",
            batterie("BAT0", {{"capacity", "57\n"}, {"energy_full", "50000000\n"}, {"energy_now", "10000000\n"}}), 57},
        CasPourcentage{"energieSeule", batterie("BAT0", {{"energy_full", "48000000\n"}, {"energy_now", "12000000\n"}}),
                       25},
        CasPourcentage{"chargeSeule", batterie("BAT0", {{"charge_full", "4000000\n"}, {"charge_now", "3000000\n"}}),
                       75},
        CasPourcentage{"arrondiAuPlusProche", batterie("BAT0", {{"energy_full", "3000000"}, {"energy_now", "2000000"}}),
                       67},
        CasPourcentage{"capaciteAuDessusDeCent", batterie("BAT0", {{"capacity", "104\n"}}), 100},
        CasPourcentage{"capaciteNegative", batterie("BAT0", {{"capacity", "-3\n"}}), 0},
        CasPourcentage{
            "capaciteNaNAvecEnergie",
            batterie("BAT0", {{"capacity", "-NaN\n"}, {"energy_full", "40000000"}, {"energy_now", "30000000"}}), 75},
        CasPourcentage{"capaciteIllisible", batterie("BAT0", {{"capacity", "abc\n"}}), 255},
        CasPourcentage{"capaciteTropLongue", batterie("BAT0", {{"capacity", std::string(100, '5')}}), 255},
        CasPourcentage{"capaciteVide", batterie("BAT0", {{"capacity", ""}}), 255},
        CasPourcentage{"capaciteTubeNomme",
                       batterie("BAT0", {{"capacity", "<fifo>"}, {"charge_full", "100"}, {"charge_now", "40"}}), 40},
        CasPourcentage{"capaciteDossier", batterie("BAT0", {{"capacity", "<dossier>"}}), 255},
        CasPourcentage{"sourisIgnoree",
                       batterie("BAT0", {{"capacity", "40\n"}}) +
                           batterie("hidpp_battery_0", {{"capacity", "90\n"}, {"scope", "Device\n"}}),
                       40},
        CasPourcentage{"sourisSeule", batterie("hidpp_battery_0", {{"capacity", "90\n"}, {"scope", "Device\n"}}), 255},
        CasPourcentage{"nomCMB0", batterie("CMB0", {{"capacity", "66\n"}}), 66},
        CasPourcentage{"absente", batterie("BAT0", {{"capacity", "50\n"}, {"present", "0\n"}}), 255},
        CasPourcentage{
            "secondeAbsente",
            batterie("BAT0", {{"capacity", "50\n"}, {"present", "1\n"}}) +
                batterie("BAT1",
                         {{"capacity", "0\n"}, {"present", "0\n"}, {"energy_full", "9000000"}, {"energy_now", "0"}}),
            50},
        // 24 Wh full and 72 Wh empty: 25 %, not the 50 % of the mean.
        CasPourcentage{
            "pesentSelonLeurTaille",
            batterie("BAT0", {{"capacity", "100"}, {"energy_full", "24000000"}, {"energy_now", "24000000"}}) +
                batterie("BAT1", {{"capacity", "0"}, {"energy_full", "72000000"}, {"energy_now", "0"}}),
            25},
        CasPourcentage{"fantomeVide",
                       batterie("BAT0", {{"capacity", "80"}, {"energy_full", "50000000"}, {"energy_now", "40000000"}}) +
                           batterie("BAT1", {{"capacity", "0"}, {"energy_full", "0"}, {"energy_now", "0"}}),
                       80},
        // 15 of 30 Wh plus 1 Ah of 1 Ah at 15 V: 30 of 45 Wh.
        CasPourcentage{"unitesMelangees",
                       batterie("BAT0", {{"capacity", "50"}, {"energy_full", "30000000"}, {"energy_now", "15000000"}}) +
                           batterie("BAT1", {{"capacity", "100"},
                                             {"charge_full", "1000000"},
                                             {"charge_now", "1000000"},
                                             {"voltage_min_design", "15000000"},
                                             {"voltage_now", "16800000"}}),
                       67},
        CasPourcentage{
            "unitesMelangeesSansTension",
            batterie("BAT0", {{"capacity", "50"}, {"energy_full", "30000000"}, {"energy_now", "15000000"}}) +
                batterie("BAT1", {{"capacity", "100"}, {"charge_full", "1000000"}, {"charge_now", "1000000"}}),
            75},
        CasPourcentage{"maintenantDeduitDeLaCapacite",
                       batterie("BAT0", {{"capacity", "50"}, {"energy_full", "20000000"}}) +
                           batterie("BAT1", {{"energy_full", "60000000"}, {"energy_now", "60000000"}}),
                       88},
        CasPourcentage{"moyenneSansSommes",
                       batterie("BAT0", {{"capacity", "30"}}) + batterie("BAT1", {{"capacity", "61"}}), 46},
        CasPourcentage{"secteurSansBatterie", Arbre{{"AC/type", "Mains\n"}, {"AC/online", "1\n"}}, 255},
        CasPourcentage{"rienDuTout", Arbre{}, 255}),
    [](const testing::TestParamInfo<CasPourcentage>& info) { return std::string(info.param.nom); });

TEST(Alimentation, dossierInexistant)
{
    EXPECT_EQ(lireAlimentation("/nonexistent/power_supply").pourcentage, 255);
}

TEST(Alimentation, surSecteur)
{
    const struct {
        const char* nom;
        Arbre arbre;
        bool surSecteur;
    } cas[] = {
        {"secteurBranche", {{"AC/type", "Mains\n"}, {"AC/online", "1\n"}}, true},
        {"secteurDebranche", {{"AC/type", "Mains\n"}, {"AC/online", "0\n"}}, false},
        {"usbBranche",
         {{"ucsi-source-psy-USBC000:001/type", "USB\n"}, {"ucsi-source-psy-USBC000:001/online", "1\n"}},
         true},
        {"chargeurDeSouris", {{"usb/type", "USB\n"}, {"usb/online", "1\n"}, {"usb/scope", "Device\n"}}, false},
        {"batterieEnLigne", {{"BAT0/type", "Battery\n"}, {"BAT0/online", "1\n"}}, false},
        {"enLigneIllisible", {{"AC/type", "Mains\n"}, {"AC/online", "<fifo>"}}, false},
        {"rien", {}, false},
    };
    for (const auto& c : cas) {
        const ArbreTemporaire arbre(c.arbre);
        EXPECT_EQ(lireAlimentation(arbre.racine()).surSecteur, c.surSecteur) << c.nom;
    }
}

TEST(Boucle, neTravaillePasSansDuree)
{
    for (const int delai : {0, -1, -2147483647 - 1}) {
        EXPECT_EQ(boucle(delai), delai);
    }
}

TEST(Boucle, dureAuMoinsLeDelai)
{
    const auto debut = std::chrono::steady_clock::now();
    EXPECT_EQ(boucle(1), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - debut, std::chrono::seconds(1));
}

}  // namespace
