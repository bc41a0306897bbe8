// The textbook population analyses of a run, from its orbitals normalised against the overlap
// (c^T S c = 1) and the overlap rebuilt from the checkpoint's shells: Mulliken and Löwdin charges,
// Mayer bond orders and valences, Wiberg indices in the Löwdin basis, Mulliken overlap
// populations and each orbital's composition. These are the companion's own quantities, not
// FOR006's (whose charges and bond orders come from unit-length orbitals without the overlap).
//
// Precision: sums in double in a fixed order; S^(1/2) from LAPACK's dsyevd (eigenvalues of S
// are bounded away from zero for any geometry zephor runs). Charges sum to the total charge to
// about 1e-12 per atom; every value agrees with an independent evaluation to 1e-8 or better.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zephor::exporter {

struct Checkpoint;
struct Orbitals;

struct AtomPair {
    std::int32_t i = 0, j = 0;  // atoms numbered from 1, i < j
    double value = 0.0;
};

struct Analysis {
    // Over atoms (valence charges, like FOR006's: Z_valence minus the gross population).
    std::vector<double> mulliken_charges;
    std::vector<double> lowdin_charges;
    std::vector<double> mulliken_populations;  // gross atomic populations, electrons
    std::vector<double> atomic_valences;       // Mayer valence: the sum of the atom's Mayer orders
    // atom_count x atom_count, column-major, symmetric, zero diagonal.
    std::vector<double> mayer;
    std::vector<double> wiberg_lowdin;
    std::vector<double> overlap_population;
    // Orbital composition (Mulliken partition of each orbital, percent, summing to 100):
    // atom_count x basis_count (column k = orbital k), and the s and p parts of each atom's share.
    std::vector<double> composition;
    std::vector<double> composition_s;
    std::vector<double> composition_p;
};

// Throws RequestError when the linear-algebra library cannot be loaded or fails on S.
Analysis population_analysis(const Checkpoint& c, const Orbitals& o);
// The same with dgemm_ and dsyevd_ of the library opened as `library` (a dlopen handle), for a
// process that holds the pinned library apart from its own (solver/private_library.hpp).
Analysis population_analysis(const Checkpoint& c, const Orbitals& o, void* library);

// The pairs i < j of a symmetric atom_count x atom_count matrix whose value exceeds `threshold`
// in magnitude, in order of i then j.
std::vector<AtomPair> pairs_above(const std::vector<double>& m, std::int32_t atom_count, double threshold);

// A readable table of every analysis, with units and definitions in its header; `symbols`
// names the atoms.
std::string analysis_text(const Checkpoint& c, const Analysis& a);

// The CSV tables written by --analysis-csv: PREFIX.charges.csv, PREFIX.bonds.csv,
// PREFIX.composition.csv, in that order.
std::vector<std::string> analysis_csv(const Checkpoint& c, const Analysis& a);

}  // namespace zephor::exporter
