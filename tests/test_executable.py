"""Black-box tests: the real executable against a simulated battery.

    python3 test_executable.py PATH/autonomie
    python3 test_executable.py --wine PATH/autonomie.exe

With --wine, the Windows executable runs under Wine, which reads the same
simulated battery; its line ends are compared as line feeds.

The charge files change between points of the dialogue as a person
unplugging or draining the laptop would see it. Needs root (a private mount
namespace); elsewhere the tests are skipped, but never when CI=true.
"""

import atexit
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import unittest

from batterie_simulee import BatterieSimulee, pourquoi_impossible

COMMANDE = []  # the program to run, from the command line
WINE = False

PROMPT = (b"Entree la duree du test en seconde (minimum 120s recommandees)\n"
          b"Notez que la pr\xe9cision du test depend de la celle-ci.\n")
# The wait for a key: its prompt, and the whole of what it writes. Wine's
# command interpreter speaks English, and ends no line when its input is not
# a console.
ATTENTE = b"Appuyez sur une touche pour continuer..."
PAUSE = ATTENTE + b"\n"
HEURE = rb"[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}\n"
SECTEUR = (b"Attention : l'ordinateur est branche sur le secteur ; "
           b"debranchez-le pour une mesure fiable.\n")
DUREE_INVALIDE = b"Duree invalide : entrez un nombre entier de secondes superieur a 0.\n"
SANS_BATTERIE = b"Aucune batterie detectee : impossible d'estimer l'autonomie.\n"
ILLISIBLE = b"Batterie illisible pendant le test : impossible d'estimer l'autonomie.\n"
DELAI_MAX = 30  # seconds any one step may take before a test gives up


def debut_du_rapport(delai, avant):
    """The expected output from the prompt to the first time stamp, as a pattern."""
    return (re.escape(PROMPT
                      + b"Execution du test pour une duree de %d seconde\n" % delai
                      + b"Pourcentage de la batterie avant le debut du test : %d %%\n" % avant
                      + b"Le test va s'executer pendant %d secondes\n" % delai)
            + HEURE)


def rapport(delai, avant, perte, estimation):
    """The expected output of a complete run, as a pattern."""
    return (debut_du_rapport(delai, avant)
            + re.escape(b"La batterie a perdu %d %%en l'espace de %d secondes ;\n" % (perte, delai))
            + HEURE
            + re.escape(b"DUREE DE LA BATTERIE EN UTILISATION NORMALE : " + estimation + PAUSE))


class Execution:
    """One run of the program through pipes, read as it writes; a test that
    fails half-way leaves no program behind."""

    def __init__(self, test, batterie):
        self.processus = subprocess.Popen(batterie.commande(COMMANDE), stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.sortie = b""
        test.addCleanup(self.nettoyer)

    def nettoyer(self):
        if self.processus.returncode is None and self.processus.poll() is None:
            self.processus.kill()
            self.processus.wait()
        for flux in (self.processus.stdin, self.processus.stdout, self.processus.stderr):
            flux.close()

    def attendre(self, motif):
        """Reads standard output until the pattern shows; returns the moment."""
        limite = time.monotonic() + DELAI_MAX
        fd = self.processus.stdout.fileno()
        while not re.search(motif, lignes(self.sortie)):
            reste = limite - time.monotonic()
            if reste <= 0 or not select.select([fd], [], [], reste)[0]:
                raise AssertionError("%r never came; output so far: %r" % (motif, self.sortie))
            morceau = os.read(fd, 4096)
            if not morceau:
                raise AssertionError("output ended before %r: %r" % (motif, self.sortie))
            self.sortie += morceau
        return time.monotonic()

    def ecrire(self, octets):
        self.processus.stdin.write(octets)
        self.processus.stdin.flush()

    def en_vie_apres(self, secondes):
        try:
            self.processus.wait(timeout=secondes)
            return False
        except subprocess.TimeoutExpired:
            return True

    def finir(self):
        """Closes standard input; returns (status, stdout, stderr, processor seconds,
        None when the program was already waited for)."""
        self.processus.stdin.close()
        self.sortie += self.processus.stdout.read()
        erreurs = self.processus.stderr.read()
        cpu = None
        if self.processus.returncode is None:
            _, statut, usage = os.wait4(self.processus.pid, 0)
            self.processus.returncode = os.waitstatus_to_exitcode(statut)
            cpu = usage.ru_utime + usage.ru_stime
        return self.processus.returncode, lignes(self.sortie), lignes(erreurs), cpu


def lignes(octets):
    return octets.replace(b"\r\n", b"\n")


def executer(batterie, entree):
    """A whole run fed with entree at once; returns (status, stdout, stderr)."""
    fini = subprocess.run(batterie.commande(COMMANDE), input=entree, capture_output=True,
                          timeout=DELAI_MAX, check=False)
    return fini.returncode, lignes(fini.stdout), lignes(fini.stderr)


class Dialogue(unittest.TestCase):

    def changer_pendant_la_charge(self, simulee, delai, **changement):
        """A test of delai seconds whose battery changes once the load has begun."""
        run = Execution(self, simulee)
        run.ecrire(b"%d\n" % delai)
        run.attendre(b"secondes\n" + HEURE)
        simulee.fixer(**changement)
        return run.finir()

    def test_mesure_complete(self):
        """The charge drops between the first two samples and during the load."""
        delai = 3
        with BatterieSimulee(80) as batterie:
            run = Execution(self, batterie)
            run.attendre(re.escape(PROMPT))
            batterie.fixer(79)  # the report shows 80, the loss counts from 79
            run.ecrire(b"%d\n" % delai)
            debut = run.attendre(b"secondes\n" + HEURE)
            batterie.fixer(77)
            fin = run.attendre(b"La batterie a perdu")
            statut, sortie, erreurs, cpu = run.finir()
        self.assertEqual((statut, erreurs), (0, b""))
        if WINE:  # the C runtime ends every line with CR LF, as on Windows
            self.assertNotIn(b"\n", run.sortie.replace(b"\r\n", b""))
        # A loss of 2: argument 3, q = 33, 33 x 3 / 60 = 1 minute.
        self.assertRegex(sortie, b"\\A" + rapport(delai, 80, 2, b"ENVIRON 1 minutes") + b"\\Z")
        # The load lasts the duration and keeps one core busy; the upper
        # bounds are loose, a slow machine must not fail this.
        self.assertGreaterEqual(fin - debut, delai - 0.2)  # less the latency of seeing the stamp
        self.assertLess(fin - debut, delai + 5)
        self.assertGreaterEqual(cpu, 0.5 * delai)
        self.assertLess(cpu, delai + 2)
        print("\nload of %d s: %.3f s of processor time" % (delai, cpu), file=sys.stderr)

    def test_charge_montee(self):
        with BatterieSimulee(50) as batterie:
            statut, sortie, erreurs, _ = self.changer_pendant_la_charge(batterie, 1, pourcentage=52, secteur=True)
        self.assertEqual((statut, erreurs), (0, b""))
        self.assertRegex(sortie, b"\\A" + rapport(1, 50, -2, b"INCONNUE (la batterie s'est chargee pendant le test)")
                         + b"\\Z")

    def test_sur_secteur(self):
        """On mains the program warns first, then measures all the same."""
        with BatterieSimulee(64, secteur=True) as batterie:
            statut, sortie, erreurs = executer(batterie, b"1\n")
        self.assertEqual((statut, erreurs), (0, SECTEUR))
        # No loss over 1 s: 100 x 1 / 60 = 1 minute.
        self.assertRegex(sortie, b"\\A" + rapport(1, 64, 0, b"ENVIRON 1 minutes") + b"\\Z")

    def test_attente_d_une_touche(self):
        """The rest of the duration's line never answers the wait; the next byte does."""
        with BatterieSimulee(90) as batterie:
            run = Execution(self, batterie)
            run.ecrire(b"1 et la suite de la ligne\n")
            run.attendre(re.escape(ATTENTE))
            self.assertTrue(run.en_vie_apres(0.5), "the rest of the line answered the wait")
            run.ecrire(b"x")
            self.assertFalse(run.en_vie_apres(DELAI_MAX), "a key did not end the wait")
            statut, sortie, _, _ = run.finir()
        self.assertEqual(statut, 0)
        self.assertTrue(sortie.endswith(b"ENVIRON 1 minutes" + PAUSE), sortie)

    def test_duree_invalide(self):
        for entree in [b"abc\n", b"0\n", b"-60\n", b"", b"\n\n", b"2147483648\n", b"+\n"]:
            with self.subTest(entree=entree), BatterieSimulee(70) as batterie:
                debut = time.monotonic()
                statut, sortie, erreurs = executer(batterie, entree)
                self.assertEqual((statut, sortie, erreurs), (1, PROMPT + PAUSE, DUREE_INVALIDE))
                self.assertLess(time.monotonic() - debut, DELAI_MAX / 2)  # no load ran

    def test_sans_batterie(self):
        """A desktop: no prompt, no load, a message and status 2."""
        for secteur in (False, True):
            with self.subTest(secteur=secteur), BatterieSimulee(batterie=False, secteur=secteur) as batterie:
                statut, sortie, erreurs = executer(batterie, b"120\n")
                self.assertEqual((statut, sortie, erreurs), (2, PAUSE, SANS_BATTERIE))

    def test_batterie_perdue_pendant_le_test(self):
        # Taken out before the second sample: no load at all.
        with BatterieSimulee(70) as batterie:
            run = Execution(self, batterie)
            run.attendre(re.escape(PROMPT))
            batterie.fixer(0, batterie=False)
            run.ecrire(b"120\n")
            statut, sortie, erreurs, _ = run.finir()
        self.assertEqual((statut, erreurs), (2, ILLISIBLE))
        self.assertEqual(sortie, PROMPT + b"Execution du test pour une duree de 120 seconde\n" + PAUSE)
        # Taken out during the load: the report stops at the first time stamp.
        with BatterieSimulee(70) as batterie:
            statut, sortie, erreurs, _ = self.changer_pendant_la_charge(batterie, 1, pourcentage=0, batterie=False)
        self.assertEqual((statut, erreurs), (2, ILLISIBLE))
        self.assertRegex(sortie, b"\\A" + debut_du_rapport(1, 70) + re.escape(PAUSE) + b"\\Z")


class Terminal(unittest.TestCase):
    """The wait for a key on a real (pseudo-)terminal, Linux's own."""

    def setUp(self):
        if WINE:
            self.skipTest("on Windows the command interpreter waits for the key")

    def demarrer(self, batterie):
        pid, maitre = pty.fork()
        if pid == 0:
            commande = batterie.commande(COMMANDE)
            os.execvp(commande[0], commande)
        self.addCleanup(os.close, maitre)
        return pid, maitre

    @staticmethod
    def lire_jusqu_a(maitre, texte):
        sortie = b""
        limite = time.monotonic() + DELAI_MAX
        while texte not in sortie:
            if not select.select([maitre], [], [], max(0, limite - time.monotonic()))[0]:
                raise AssertionError("%r never came: %r" % (texte, sortie))
            sortie += os.read(maitre, 4096)
        return sortie

    @staticmethod
    def attendre_modes(maitre, condition):
        """Polls the terminal's modes until condition holds; returns them."""
        limite = time.monotonic() + DELAI_MAX
        while True:
            modes = termios.tcgetattr(maitre)
            if condition(modes[3]) or time.monotonic() > limite:
                return modes

    @staticmethod
    def lire_tout(maitre):
        sortie = b""
        while True:
            try:
                morceau = os.read(maitre, 4096)
            except OSError:  # the other side has closed
                return sortie
            if not morceau:
                return sortie
            sortie += morceau

    def test_touche(self):
        """Any key, without Enter and without echo, ends the wait; Ctrl+C ends
        the program; either way the terminal gets its modes back."""
        for touche, statut_attendu, suite_attendue in [(b"k", 0, b"\r\n"), (b"\x03", -signal.SIGINT, b"")]:
            with self.subTest(touche=touche), BatterieSimulee(60) as batterie:
                pid, maitre = self.demarrer(batterie)
                self.lire_jusqu_a(maitre, b"celle-ci.")
                origine = termios.tcgetattr(maitre)
                os.write(maitre, b"1\n")
                self.lire_jusqu_a(maitre, ATTENTE)
                brut = self.attendre_modes(maitre, lambda lflag: not lflag & termios.ECHO)
                self.assertFalse(brut[3] & (termios.ECHO | termios.ICANON), "the wait does not read a bare key")
                os.write(maitre, touche)
                suite = self.lire_tout(maitre)
                _, statut = os.waitpid(pid, 0)
                self.assertEqual(os.waitstatus_to_exitcode(statut), statut_attendu)
                self.assertEqual(suite, suite_attendue, "the key was echoed or more was written")
                self.assertEqual(termios.tcgetattr(maitre), origine)


def preparer_wine():
    """A private Wine prefix, made once: its first start takes seconds."""
    global ATTENTE, PAUSE
    prefixe = tempfile.mkdtemp(prefix="wine-")
    atexit.register(shutil.rmtree, prefixe, ignore_errors=True)
    os.environ.update(WINEPREFIX=prefixe, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    atexit.register(subprocess.run, ["wineserver", "-k"], check=False)
    subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300, check=True)
    ATTENTE = b"Press any key to continue..."
    PAUSE = ATTENTE + b" "


def main():
    global COMMANDE, WINE
    WINE = len(sys.argv) > 1 and sys.argv[1] == "--wine"
    if WINE:
        sys.argv.pop(1)
    if len(sys.argv) < 2:
        sys.exit("usage: test_executable.py [--wine] PATH/autonomie [unittest options]")
    COMMANDE = (["wine"] if WINE else []) + [os.path.abspath(sys.argv.pop(1))]
    raison = pourquoi_impossible()
    if raison is not None:
        if os.environ.get("CI") == "true":
            sys.exit("black-box tests cannot run in CI: " + raison)
        print("SKIPPED: black-box tests of the executable: " + raison)
        sys.exit(77)
    if WINE:
        preparer_wine()
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
