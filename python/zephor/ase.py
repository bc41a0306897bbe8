"""An ASE calculator running zephor in this process.

    from ase.build import molecule
    from zephor.ase import Zephor
    atoms = molecule("H2O")
    atoms.calc = Zephor()
    atoms.get_potential_energy()     # eV: zephor's total energy
    atoms.get_charges()              # Mulliken charges (overlap-aware, zephor-export's)

Forces and stresses are not available: asking for them raises ASE's
PropertyNotImplementedError.
"""

from ase.calculators.calculator import Calculator, all_changes

import zephor


class Zephor(Calculator):
    """`charge`: the total charge (default: atoms.info["charge"], else 0). After a calculation
    ``calc.result`` is the zephor.Result of the last run."""

    implemented_properties = ["energy", "free_energy", "charges"]
    default_parameters = {"charge": None}

    def __init__(self, **kwargs):
        super().__init__(**kwargs)
        self.result = None

    def calculate(self, atoms=None, properties=("energy",), system_changes=all_changes):
        super().calculate(atoms, properties, system_changes)
        mol = zephor.Molecule.from_ase(self.atoms, charge=self.parameters.charge)
        self.result = zephor.run(mol, keep_matrices=False)
        self.results["energy"] = self.result.total_energy
        self.results["free_energy"] = self.result.total_energy
        self.results["charges"] = self.result.analysis["mulliken_charges"].copy()
