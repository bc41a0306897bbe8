// Basis enumeration: hydrogen owns one s function and one s shell; B, C, N, O and F own s, px,
// py, pz and an s and a p shell. Functions and shells are numbered atom by atom.
#include "driver/basis.hpp"

#include "common/elements.hpp"

namespace zephor {

BasisCounts tally_basis(const std::vector<char>& letters, std::int32_t charge) {
    BasisCounts c;
    std::int64_t valence = 0;
    for (char letter : letters) {
        const SupportedElement* e = supported_element(letter);
        if (e == nullptr) continue;  // cannot happen: the sizing pass rejects unknown letters
        c.basis_count += e->functions;
        c.shell_count += e->shells;
        valence += e->valence_electrons;
    }
    c.electron_count = electron_count(valence, charge);
    return c;
}

void assemble_basis(const std::vector<std::string>& symbol, std::int32_t basis_count,
                    BasisArrays& b) {
    const std::size_t n = static_cast<std::size_t>(basis_count);
    std::size_t k = 0;  // functions assigned so far
    std::size_t m = 0;  // shells assigned so far
    for (std::size_t i = 0; i < symbol.size(); ++i) {
        const auto tables = element(symbol[i]);
        const ElementData* e = element_by_letter(symbol[i][0]);
        if (!tables || e == nullptr) continue;  // cannot happen: the reading pass validates symbols
        const std::int32_t atom = static_cast<std::int32_t>(i + 1);
        b.valence[i] = e->valence;
        b.atomic_number[i] = e->atomic_number;
        b.shell_type[m] = 0;
        b.shell_atom[m] = atom;
        if (e->shells == 2) {
            b.shell_type[m + 1] = 1;
            b.shell_atom[m + 1] = atom;
        }
        const std::size_t count = static_cast<std::size_t>(tables->count);
        for (std::size_t c = 0; c < count; ++c) {
            const std::size_t f = k + c;
            b.ham[f * (n + 1)] = (c == 0) ? e->s_level : e->p_level;
            for (std::size_t p = 0; p < 6; ++p) {
                b.g[6 * f + p] = tables->gi[6 * c + p];
                b.alfa[6 * f + p] = tables->ai[6 * c + p];
                b.d[6 * f + p] = tables->di[6 * c + p];
            }
            b.basis_atom[f] = atom;
        }
        k += count;
        m += static_cast<std::size_t>(e->shells);
    }
}

}  // namespace zephor
