#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "console.h"
#include "essai.h"
#include "mesure.h"

namespace {

// Exit statuses, listed in the README.
constexpr int sortieDureeInvalide = 1;
constexpr int sortieBatterieIllisible = 2;

constexpr const char* batterieIllisible = "Batterie illisible pendant le test : impossible d'estimer l'autonomie.";

void signaler(const char* message)
{
    std::fflush(stdout);  // keeps the report and the message in order
    std::fprintf(stderr, "%s\n", message);
}

void afficherHeure()
{
    const std::time_t rawtime = std::time(nullptr);
    const char* texte = std::ctime(&rawtime);
    std::fputs(texte != nullptr ? texte : "?\n", stdout);
}

// The dialogue and the measurement, from the prompt to the estimate.
int executerTest(int pourcentageBatterie)
{
    std::puts("Entree la duree du test en seconde (minimum 120s recommandees)");
    std::puts(
        "Notez que la pr\xE9"
        "cision du test depend de la celle-ci.");
    std::fflush(stdout);
    const auto duree = lireDuree(stdin);
    if (!duree) {
        signaler("Duree invalide : entrez un nombre entier de secondes superieur a 0.");
        return sortieDureeInvalide;
    }
    const int delai = *duree;
    std::printf("Execution du test pour une duree de %d seconde\n", delai);

    const int pourcentageAvant = obtenirPourcentage();
    if (pourcentageAvant == pourcentageInconnu) {
        signaler(batterieIllisible);
        return sortieBatterieIllisible;
    }
    std::printf("Pourcentage de la batterie avant le debut du test : %d %%\n", pourcentageBatterie);
    std::printf("Le test va s'executer pendant %d secondes\n", delai);
    afficherHeure();
    std::fflush(stdout);

    boucle(delai);

    const int pourcentageApres = obtenirPourcentage();
    if (pourcentageApres == pourcentageInconnu) {
        signaler(batterieIllisible);
        return sortieBatterieIllisible;
    }
    const int pourcentagePerdu = pourcentageAvant - pourcentageApres;
    std::printf("La batterie a perdu %d %%en l'espace de %d secondes ;\n", pourcentagePerdu, delai);
    afficherHeure();

    const auto dureeBatterieEstimee = calculerEstimation(pourcentagePerdu + 1, delai);
    if (dureeBatterieEstimee) {
        std::printf("DUREE DE LA BATTERIE EN UTILISATION NORMALE : ENVIRON %" PRId64 " minutes", *dureeBatterieEstimee);
    } else {
        std::fputs(
            "DUREE DE LA BATTERIE EN UTILISATION NORMALE : INCONNUE "
            "(la batterie s'est chargee pendant le test)",
            stdout);
    }
    return 0;
}

int attendrePuisQuitter(int statut)
{
    std::fflush(stdout);
    attendreTouche();
    return statut;
}

}  // namespace

int main()
{
    const int pourcentageBatterie = obtenirPourcentage();
    if (pourcentageBatterie == pourcentageInconnu) {
        // A desktop, a container or a failed call: there is nothing to measure.
        signaler("Aucune batterie detectee : impossible d'estimer l'autonomie.");
        return attendrePuisQuitter(sortieBatterieIllisible);
    }
    if (estSurSecteur()) {
        signaler("Attention : l'ordinateur est branche sur le secteur ; debranchez-le pour une mesure fiable.");
    }
    const int statut = executerTest(pourcentageBatterie);
    // The rest of the duration's line must not answer the wait.
    ignorerFinDeLigne(stdin);
    return attendrePuisQuitter(statut);
}
