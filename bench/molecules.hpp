// Test molecules of any size, written as FOR005 text: a zig-zag alkane CnH2n+2, a hexagonal
// hydrocarbon flake (the coronene series, C-C 1.42 and C-H 1.09 Angstrom) and a chain rich in
// nitrogen and oxygen (repeating -NH-C(=O)-O-CH2-). Used by the benchmark and by the tests.
#pragma once

#include <string>
#include <vector>

namespace zephor_bench {

struct Atom {
    char symbol;     // H, C, N or O
    double x, y, z;  // Angstrom
};

// CnH2n+2, carbons along x in the zig-zag plane (C-C 1.54, C-H 1.09 Angstrom, tetrahedral).
std::vector<Atom> alkane(int carbons);

// The hexagonal flake of `shells` rings from the centre (1: benzene, 2: coronene C24H12, k:
// C(6k^2) H(6k)), in the xy plane.
std::vector<Atom> flake(int shells);

// H-[NH-C(=O)-O-CH2]units-H, a planar zig-zag backbone (1.43 Angstrom, 116 degrees) with N-H
// 1.01, C=O 1.22 and C-H 1.09 Angstrom.
std::vector<Atom> no_chain(int units);

// Basis functions: 1 per hydrogen, 4 per other atom.
int basis_count(const std::vector<Atom>& atoms);

// FOR005: a lower-case title, charge 0, one line per atom.
std::string for005(const std::vector<Atom>& atoms);

}  // namespace zephor_bench
