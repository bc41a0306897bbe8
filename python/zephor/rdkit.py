"""RDKit molecules in, zephor's results out, and charges stored on the atoms.

    from rdkit import Chem
    from rdkit.Chem import AllChem
    import zephor.rdkit
    mol = Chem.AddHs(Chem.MolFromSmiles("Cn1cnc2c1c(=O)n(C)c(=O)n2C"))
    AllChem.EmbedMolecule(mol, randomSeed=7)
    ok, res = zephor.rdkit.run_mol(mol)
    [a.GetDoubleProp("_ZephorCharge") for a in mol.GetAtoms()]
"""

import zephor


def molecule_from_rdkit(cls, mol, conf_id=-1, charge=None, title=None):
    if mol.GetNumConformers() == 0:
        raise ValueError("the RDKit molecule has no conformer: embed one first (AllChem.EmbedMolecule)")
    implicit = sum(a.GetNumImplicitHs() for a in mol.GetAtoms())
    if implicit:
        raise ValueError("the RDKit molecule has %d implicit hydrogens: add them first (Chem.AddHs, then embed)"
                         % implicit)
    conf = mol.GetConformer(conf_id)
    if not conf.Is3D():
        raise ValueError("the conformer is not 3D: embed one (AllChem.EmbedMolecule)")
    symbols = [a.GetSymbol() for a in mol.GetAtoms()]
    positions = conf.GetPositions()
    if charge is None:
        charge = sum(a.GetFormalCharge() for a in mol.GetAtoms())
    if title is None:
        title = mol.GetProp("_Name") if mol.HasProp("_Name") else ""
    return cls(symbols, positions, int(charge), title)


def run_mol(mol, conf_id=-1, charge=None, keep_matrices=False):
    """Runs zephor on `mol`'s conformer `conf_id` and stores on each atom the double properties
    ``_ZephorCharge`` (FOR006's charge) and ``_ZephorMullikenCharge`` (zephor-export's
    overlap-aware Mulliken charge). Returns (True, Result), as RDKit's own extended-Hückel
    runner returns its success and results; zephor's errors are raised, not returned."""
    res = zephor.run(zephor.Molecule.from_rdkit(mol, conf_id, charge), keep_matrices=keep_matrices)
    report = res.report_charges
    mulliken = res.analysis["mulliken_charges"]
    for atom in mol.GetAtoms():
        atom.SetDoubleProp("_ZephorCharge", float(report[atom.GetIdx()]))
        atom.SetDoubleProp("_ZephorMullikenCharge", float(mulliken[atom.GetIdx()]))
    return True, res
