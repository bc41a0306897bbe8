// Open Babel does the parsing; this keeps what zephor needs of its molecule.
#include "import/babel_reader.hpp"

#include <openbabel/builder.h>
#include <openbabel/elements.h>
#include <openbabel/forcefield.h>
#include <omp.h>
#include <openbabel/math/vector3.h>
#include <openbabel/mol.h>
#include <openbabel/obconversion.h>
#include <openbabel/oberror.h>
#include <openbabel/obiter.h>

#include <cstdint>
#include <cstdlib>

#include "common/run_files.hpp"
#include "import/errors.hpp"

namespace zephor::importer {

namespace {

// Coordinates for a molecule that has none: the builder's fragments, then a force-field
// relaxation (conjugate gradients from a fixed start, so the result does not vary).
void build_3d(OpenBabel::OBMol& mol, const std::string& name) {
    // The builder draws random directions from rand(), which Open Babel seeds from the clock when
    // it draws its first: drawing one here, then seeding rand() with a constant, gives a molecule
    // the same coordinates every time (this process, the child, draws nothing else).
    OpenBabel::vector3 first;
    first.randomUnitVector();
    std::srand(1);
    // Open Babel's force fields sum their terms on OpenMP threads, and the sums' order follows
    // the thread count: one thread, so that the coordinates do not depend on the machine's cores
    // or on OMP_NUM_THREADS.
    omp_set_num_threads(1);
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

// The atoms as Open Babel holds them now (coordinates in Angstrom, zero where none were given).
std::vector<AtomIn> atoms_of(OpenBabel::OBMol& mol) {
    std::vector<AtomIn> atoms;
    atoms.reserve(mol.NumAtoms());
    FOR_ATOMS_OF_MOL(atom, mol) {
        const unsigned z = atom->GetAtomicNum();
        const std::string symbol = z == 0 ? std::string("*") : OpenBabel::OBElements::GetSymbol(z);
        atoms.push_back({symbol, atom->GetX(), atom->GetY(), atom->GetZ()});
    }
    return atoms;
}

// Refuses a molecule zephor cannot compute: an element it has no basis for, or more basis
// functions (one on H, four on the others) than a run holds.
void check_computable(const MoleculeIn& m, const std::string& name) {
    check_elements(m);
    std::int64_t functions = 0;
    for (const AtomIn& a : m.atoms) functions += a.symbol == "H" ? 1 : 4;
    if (functions > max_basis_count)
        throw ContentError(name + ": its " + std::to_string(m.atoms.size()) + " atoms need " +
                           std::to_string(functions) + " basis functions; a run holds at most " +
                           std::to_string(max_basis_count));
}

}  // namespace

MoleculeIn read_with_babel(std::string_view text, const std::string& format, const std::string& name,
                           const std::function<void()>& building_starts) {
    // Open Babel's warnings go to standard error by default; its reading errors are told in
    // zephor-import's own words instead.
    OpenBabel::obErrorLog.StopLogging();
    OpenBabel::OBConversion conv;
    if (!conv.SetInFormat(format.c_str())) throw FileError("Open Babel cannot read the format '" + format + "'");
    OpenBabel::OBMol mol;
    if (!conv.ReadString(&mol, std::string(text)) || mol.NumAtoms() == 0)
        throw ContentError(name + ": Open Babel found no molecule in it");

    MoleculeIn m;
    m.title = mol.GetTitle();
    m.atoms = atoms_of(mol);  // as read: hydrogens come after these, so atom numbers hold
    check_computable(m, name);
    mol.AddHydrogens();
    m.charge = mol.GetTotalCharge();
    m.atoms = atoms_of(mol);
    check_computable(m, name);
    if (format == "smi" || mol.GetDimension() != 3) {
        building_starts();
        build_3d(mol, name);
        m.atoms = atoms_of(mol);
    }
    return m;
}

}  // namespace zephor::importer
