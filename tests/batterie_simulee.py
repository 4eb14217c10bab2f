"""A simulated laptop battery for driving the real executable.

The program always reads /sys/class/power_supply. Here a private mount
namespace (root only) gets a temporary tree bind-mounted over that
directory, so the program reads the tree while the caller changes it, the
way the kernel's files change as a battery drains or a charger is plugged.
"""

import os
import shutil
import subprocess
import tempfile

POWER_SUPPLY = "/sys/class/power_supply"

# Full charge in uAh, and the battery's voltage in uV. Wine reads only
# BAT0's charge and voltage files and AC/online; Linux prefers capacity.
# All of them are written together so that both read the same percentage.
CHARGE_PLEINE = 4_000_000
TENSION = 11_400_000


def _ecrire(chemin, contenu):
    """Writes a file whole, so that a reader never sees it half written."""
    provisoire = chemin + ".nouveau"
    with open(provisoire, "w", encoding="ascii") as f:
        f.write(contenu)
    os.replace(provisoire, chemin)


class BatterieSimulee:
    """A power-supply tree with one battery BAT0 and one mains adapter AC."""

    def __init__(self, pourcentage=80, secteur=False, batterie=True):
        self.dossier = tempfile.mkdtemp(prefix="power_supply-")
        os.chmod(self.dossier, 0o755)
        self.fixer(pourcentage, secteur=secteur, batterie=batterie)

    def fixer(self, pourcentage, secteur=False, batterie=True):
        """Sets the charge (in percent) and the mains state; batterie=False
        takes the battery out."""
        bat0 = os.path.join(self.dossier, "BAT0")
        if not batterie:
            shutil.rmtree(bat0, ignore_errors=True)
        else:
            os.makedirs(bat0, exist_ok=True)
            attributs = {
                "type": "Battery",
                "present": "1",
                "status": "Charging" if secteur else "Discharging",
                "capacity": str(pourcentage),
                "charge_full": str(CHARGE_PLEINE),
                "charge_now": str(CHARGE_PLEINE * pourcentage // 100),
                "voltage_now": str(TENSION),
                "current_now": "1500000",
            }
            for nom, valeur in attributs.items():
                _ecrire(os.path.join(bat0, nom), valeur + "\n")
        ac = os.path.join(self.dossier, "AC")
        os.makedirs(ac, exist_ok=True)
        _ecrire(os.path.join(ac, "type"), "Mains\n")
        _ecrire(os.path.join(ac, "online"), "1\n" if secteur else "0\n")

    def commande(self, argv):
        """argv run with this tree in place of the real one."""
        script = 'd=$1; shift; mount --bind "$d" %s && exec "$@"' % POWER_SUPPLY
        return ["unshare", "--mount", "--propagation", "private", "sh", "-c", script, "sh", self.dossier, *argv]

    def fermer(self):
        shutil.rmtree(self.dossier, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.fermer()


def pourquoi_impossible():
    """None when a simulated battery can be mounted here, else the reason."""
    if os.geteuid() != 0:
        return "needs root, to mount the simulated battery in a private namespace"
    if shutil.which("unshare") is None:
        return "unshare is missing"
    with BatterieSimulee() as batterie:
        essai = subprocess.run(batterie.commande(["cat", POWER_SUPPLY + "/BAT0/capacity"]),
                               capture_output=True, text=True, check=False)
    if essai.returncode != 0 or essai.stdout.strip() != "80":
        return "cannot bind-mount over %s: %s" % (POWER_SUPPLY, essai.stderr.strip())
    return None
