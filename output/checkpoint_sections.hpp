// The sections of the checkpoint FOR007, in file order: label, type letter, scalar or array, and
// the width of the label field (59 or 60) after which the integer text stands. The writer and the
// strict reader of zephor-export both take them from here, so they cannot drift apart.
#pragma once

#include <string>
#include <string_view>

namespace zephor {

struct CheckpointSection {
    std::string_view label;
    char type;   // 'I' integer, 'R' real
    bool array;  // header "N=" count, then a row block
    int width;
};

namespace section {
inline constexpr CheckpointSection atom_count{"Number of atoms", 'I', false, 60};
inline constexpr CheckpointSection charge{"Charge", 'I', false, 60};
inline constexpr CheckpointSection multiplicity{"Multiplicity", 'I', false, 60};
inline constexpr CheckpointSection electrons{"Number of electrons", 'I', false, 59};
inline constexpr CheckpointSection alpha_electrons{"Number of alpha electrons", 'I', false, 60};
inline constexpr CheckpointSection beta_electrons{"Number of beta electrons", 'I', false, 60};
inline constexpr CheckpointSection basis_functions{"Number of basis functions", 'I', false, 59};
inline constexpr CheckpointSection independent_functions{"Number of independent functions", 'I', false, 59};
inline constexpr CheckpointSection point_charges{"Number of point charges in /Mol/", 'I', false, 60};
inline constexpr CheckpointSection translation_vectors{"Number of translation vectors", 'I', false, 60};
inline constexpr CheckpointSection atomic_numbers{"Atomic numbers", 'I', true, 60};
inline constexpr CheckpointSection coordinates{"Current cartesian coordinates", 'R', true, 60};
inline constexpr CheckpointSection contracted_shells{"Number of contracted shells", 'I', false, 60};
inline constexpr CheckpointSection primitive_shells{"Number of primitive shells", 'I', false, 59};
inline constexpr CheckpointSection shell_types{"Shell types", 'I', true, 60};
inline constexpr CheckpointSection primitives_per_shell{"Number of primitives per shell", 'I', true, 60};
inline constexpr CheckpointSection shell_to_atom{"Shell to atom map", 'I', true, 60};
inline constexpr CheckpointSection exponents{"Primitive exponents", 'R', true, 59};
inline constexpr CheckpointSection coefficients{"Contraction coefficients", 'R', true, 59};
inline constexpr CheckpointSection orbital_energies{"Alpha Orbital Energies", 'R', true, 59};
inline constexpr CheckpointSection mo_coefficients{"Alpha MO coefficients", 'R', true, 59};
}  // namespace section

// The label field of a section: the label in 43 characters, the type letter, then "N=" in 48-49
// for an array header, blank to the section's width.
void put_label_field(std::string& out, const CheckpointSection& s);

}  // namespace zephor
