// Basis rebuilding and orbital renormalisation. The overlap comes from zephor's own assembly, so
// the functions are normalised exactly as in the run that wrote the orbitals.
#include "export/orbitals.hpp"

#include <cmath>

#include "common/elements.hpp"
#include "export/checkpoint_reader.hpp"
#include "export/errors.hpp"
#include "integrals/s_h_matrix.hpp"

namespace zephor::exporter {

const ElementData* element_of(std::int32_t atomic_number) {
    const SupportedElement* e = supported_element_number(atomic_number);
    return e == nullptr ? nullptr : element_by_letter(e->letter);
}

Basis build_basis(const std::vector<std::int32_t>& atomic_number, const std::vector<double>& r,
                  const std::vector<std::int32_t>& shell_type, const std::vector<std::int32_t>& shell_atom,
                  const std::vector<double>& exponents, const std::vector<double>& coefficients) {
    std::vector<std::string> symbol;
    std::vector<const ElementData*> element;
    for (std::int32_t z : atomic_number) {
        const ElementData* e = element_of(z);
        if (e == nullptr) throw RequestError("no element with atomic number " + std::to_string(z));
        element.push_back(e);
        symbol.push_back(std::string(1, e->letter) + "   ");  // the assembly's 4-character field
    }

    Basis b;
    std::vector<double> level;  // eV, per function
    for (std::size_t s = 0; s < shell_type.size(); ++s) {
        const ElementData* e = element[static_cast<std::size_t>(shell_atom[s] - 1)];
        const bool p = shell_type[s] == 1;
        for (const Label& label : p ? std::vector<Label>{label_px, label_py, label_pz} : std::vector<Label>{label_ss}) {
            for (std::size_t k = 0; k < 6; ++k) {
                b.g.push_back(label);
                b.alfa.push_back(exponents[6 * s + k]);
                b.d.push_back(coefficients[6 * s + k]);
            }
            b.basis_atom.push_back(shell_atom[s]);
            level.push_back(p ? e->p_level : e->s_level);
        }
    }
    const std::size_t n = level.size();
    b.basis_count = static_cast<std::int32_t>(n);
    b.s.assign(n * n, 0.0);
    b.ham.assign(n * n, 0.0);
    b.norm.assign(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) b.ham[i * n + i] = level[i];
    BasisView view;
    view.atom_count = static_cast<std::int32_t>(symbol.size());
    view.basis_count = b.basis_count;
    view.symbol = symbol;
    view.r = r;
    view.g = b.g;
    view.alfa = b.alfa;
    view.d = b.d;
    view.basis_atom = b.basis_atom;
    s_h_matrix(b.s, b.ham, view, b.norm);
    return b;
}

double s_norm_squared(const double* s, const double* c, std::size_t n) {
    // Each (S c)_j is summed over i in order, as alone; eight of them advance together (their sums
    // are independent, so the additions overlap instead of waiting on each other), then join q
    // in the order of j.
    constexpr std::size_t rows = 8;
    double q = 0.0;
    std::size_t j = 0;
    for (; j + rows <= n; j += rows) {
        double sc[rows] = {};
        const double* sj = s + j * n;
        for (std::size_t i = 0; i < n; ++i) {
#pragma GCC unroll 8
            for (std::size_t r = 0; r < rows; ++r) sc[r] += sj[r * n + i] * c[i];
        }
        for (std::size_t r = 0; r < rows; ++r) q += c[j + r] * sc[r];
    }
    for (; j < n; ++j) {
        double sc = 0.0;
        for (std::size_t i = 0; i < n; ++i) sc += s[j * n + i] * c[i];
        q += c[j] * sc;
    }
    return q;
}

Orbitals export_orbitals(const Checkpoint& c) {
    Orbitals o;
    o.basis = build_basis(c.atomic_number, c.r, c.shell_type, c.shell_atom, c.exponents, c.coefficients);
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    const std::vector<double>& s = o.basis.s;

    // The checkpoint's orbitals have unit Euclidean length; readers integrate densities with the
    // overlap, so each column is scaled to c^T S c = 1.
    o.coef = c.mo_coef;
    for (std::size_t k = 0; k < n; ++k) {
        double* ck = &o.coef[k * n];
        const double scale = 1.0 / std::sqrt(s_norm_squared(s.data(), ck, n));
        for (std::size_t i = 0; i < n; ++i) ck[i] *= scale;
    }

    // The contraction's norm is folded into the written coefficients, so that a reader that
    // normalises contractions and one that does not both draw zephor's functions.
    std::size_t function = 0;
    for (std::size_t sh = 0; sh < c.shell_type.size(); ++sh) {
        for (std::size_t k = 0; k < 6; ++k)
            o.shell_coef.push_back(c.coefficients[6 * sh + k] * o.basis.norm[function]);
        function += c.shell_type[sh] == 0 ? 1 : 3;
    }

    for (std::int32_t k = 0; k < c.occupied_count; ++k) o.total_energy += c.orbital_energy[static_cast<std::size_t>(k)];
    o.total_energy *= 2.0;
    return o;
}

}  // namespace zephor::exporter
