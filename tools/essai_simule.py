#!/usr/bin/env python3
"""Runs autonomie against a simulated battery that drains while it runs.

For a machine without a battery (a desktop, a virtual machine). Needs root:
the simulated battery is mounted over /sys/class/power_supply in a private
mount namespace, for the program alone.

    sudo tools/essai_simule.py [--charge 80] [--secondes-par-point 5] [--secteur]
"""

import argparse
import os
import subprocess
import sys
import threading

RACINE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(RACINE, "tests"))

from batterie_simulee import BatterieSimulee, pourquoi_impossible  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--charge", type=int, default=80, help="charge at the start, in percent (default 80)")
    parser.add_argument("--secondes-par-point", type=float, default=5.0,
                        help="seconds for the battery to lose one point (default 5)")
    parser.add_argument("--secteur", action="store_true", help="simulate a plugged-in charger")
    parser.add_argument("--programme", default=os.path.join(RACINE, "build", "autonomie"),
                        help="the executable (default build/autonomie)")
    args = parser.parse_args()
    if not 0 <= args.charge <= 100 or args.secondes_par_point <= 0:
        parser.error("the charge is 0 to 100, the seconds per point above 0")
    if not os.access(args.programme, os.X_OK):
        parser.error("%s is not built: run make build first" % args.programme)
    raison = pourquoi_impossible()
    if raison is not None:
        sys.exit("essai_simule: " + raison)

    with BatterieSimulee(args.charge, secteur=args.secteur) as batterie:
        fini = threading.Event()

        def decharger():
            charge = args.charge
            while charge > 0 and not fini.wait(args.secondes_par_point):
                charge -= 1
                batterie.fixer(charge, secteur=args.secteur)

        threading.Thread(target=decharger, daemon=True).start()
        try:
            statut = subprocess.call(batterie.commande([args.programme]))
        except KeyboardInterrupt:
            statut = 130
        fini.set()
    sys.exit(statut)


if __name__ == "__main__":
    main()
