// The molecule as the driver holds it after reading FOR005 and enumerating the basis: counts,
// symbols, coordinates (bohr) and the basis arrays, ready for the matrix assembly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/basis.hpp"
#include "integrals/basis_view.hpp"

namespace zephor {

struct Molecule {
    std::string title;
    std::int32_t charge = 0;
    std::int32_t atom_count = 0;
    std::int32_t basis_count = 0;
    std::int32_t shell_count = 0;
    std::int32_t electron_count = 0;
    std::string letters;              // the symbol letter of each atom that sized the arrays
    std::vector<std::string> symbol;  // 4 characters each
    std::vector<double> r;            // 3 x atom_count, bohr
    std::vector<double> norm;         // filled by the assembly
    BasisArrays basis;                // ham holds only its diagonal until the assembly
};

// Pass 2 and the counts: title, charge, and every size. Refuses a basis too large to size
// (MemoryRefused) and a charge that asks for more occupied orbitals than there are functions.
Molecule size_molecule(std::string_view data, std::int32_t atom_count);

// Allocates every array at its final size, then pass 3 (handle 10) and the basis assembly.
// FOR005 is opened anew for each pass and may have been replaced or rewritten in between: pass 3
// must find the atom count, title, charge and symbol letters that sized the arrays, or the run
// ends with the read report "FOR005 changed while it was being read".
void read_molecule(Molecule& m, std::string_view data);

// The molecule's basis as the assembly and the writers read it.
BasisView basis_view(const Molecule& m);

// All three passes over one buffer: what a run reads from FOR005, for callers that hold the
// bytes already.
Molecule load_molecule(std::string_view data);

}  // namespace zephor
