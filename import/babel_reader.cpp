// Open Babel does the parsing; this keeps what zephor needs of its molecule.
#include "import/babel_reader.hpp"

#include <openbabel/builder.h>
#include <openbabel/elements.h>
#include <openbabel/forcefield.h>
#include <openbabel/mol.h>
#include <openbabel/obconversion.h>
#include <openbabel/oberror.h>
#include <openbabel/obiter.h>

#include "import/errors.hpp"

namespace zephor::importer {

namespace {

// Coordinates for a molecule that has none: the builder's fragments, then a force-field
// relaxation (conjugate gradients from a fixed start, so the result does not vary).
void build_3d(OpenBabel::OBMol& mol, const std::string& name) {
    OpenBabel::OBBuilder builder;
    if (!builder.Build(mol)) throw ContentError(name + ": Open Babel could not build 3D coordinates");
    mol.SetDimension(3);
    for (const char* field : {"MMFF94", "UFF"}) {
        OpenBabel::OBForceField* ff = OpenBabel::OBForceField::FindForceField(field);
        if (ff != nullptr && ff->Setup(mol)) {
            ff->ConjugateGradients(500);
            ff->GetCoordinates(mol);
            return;
        }
    }
}

}  // namespace

MoleculeIn read_with_babel(std::string_view text, const std::string& format, const std::string& name) {
    // Open Babel's warnings go to standard error by default; its reading errors are told in
    // zephor-import's own words instead.
    OpenBabel::obErrorLog.StopLogging();
    OpenBabel::OBConversion conv;
    if (!conv.SetInFormat(format.c_str())) throw FileError("Open Babel cannot read the format '" + format + "'");
    OpenBabel::OBMol mol;
    if (!conv.ReadString(&mol, std::string(text)) || mol.NumAtoms() == 0)
        throw ContentError(name + ": Open Babel found no molecule in it");
    const bool smiles = format == "smi";
    mol.AddHydrogens();
    if (smiles || mol.GetDimension() != 3) build_3d(mol, name);

    MoleculeIn m;
    m.title = mol.GetTitle();
    m.charge = mol.GetTotalCharge();
    FOR_ATOMS_OF_MOL(atom, mol) {
        const unsigned z = atom->GetAtomicNum();
        const std::string symbol = z == 0 ? std::string("*") : OpenBabel::OBElements::GetSymbol(z);
        m.atoms.push_back({symbol, atom->GetX(), atom->GetY(), atom->GetZ()});
    }
    return m;
}

}  // namespace zephor::importer
