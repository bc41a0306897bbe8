// Planning the tables of the fast assembly.
#include "integrals/tabulation_plan.hpp"

#include <bit>
#include <cstring>

#include "common/thread_fp_flags.hpp"
#include "integrals/power_memo.hpp"
#include "integrals/primitive_overlap.hpp"
#include "integrals/s_h_matrix.hpp"

namespace zephor {

namespace {

inline bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Limits on the number of distinct exponent sets and function types for the tabulated path; the
// element table gives at most 6 and 21. Other inputs take the plain evaluation (on threads).
constexpr std::size_t max_sets = 32;
constexpr std::size_t max_types = 64;

// The part of a term before the first geometry factor, as the primitive formulas form it. Kinds
// are those of the first and second function.
double term_prefix(int kf, int ks, double alpha, double beta, double ca, double cb, PowerMemo& power) {
    if (kf == 0 && ks == 0) return s2_prefix(alpha, beta, ca, cb, power);
    if (kf == 0) return sp_prefix(alpha, beta, ca, cb, power);
    if (ks == 0) return sp_prefix(beta, alpha, cb, ca, power);  // sp with the s primitive (second here) first
    if (kf == ks) return p2_prefix(alpha, beta, ca, cb, power);
    return pp_prefix(alpha, beta, ca, cb, power);
}

template <std::size_t N>
bool same_tuple(const double* a, const std::array<double, N>& b) {
    for (std::size_t k = 0; k < N; ++k)
        if (!same_bits(a[k], b[k])) return false;
    return true;
}

}  // namespace

std::optional<Plan> make_plan(const BasisView& basis, std::size_t n) {
    const auto& g = basis.g;
    const auto& alfa = basis.alfa;
    const auto& d = basis.d;
    const auto& basis_atom = basis.basis_atom;
    Plan p;
    p.n = n;
    p.atoms = basis.r.size() / 3;
    p.kind.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Label& first = g[6 * i];
        if (first != label_ss && first != label_px && first != label_py && first != label_pz)
            return std::nullopt;
        for (std::size_t k = 1; k < 6; ++k)
            if (g[6 * i + k] != first) return std::nullopt;
        p.kind[i] = kind_of(first);
        const std::int32_t a = basis_atom[i];
        if (a < 1 || static_cast<std::size_t>(a) > p.atoms) return std::nullopt;
    }

    p.atom_start.assign(p.atoms + 1, 0);
    for (std::size_t i = 0; i < n; ++i) ++p.atom_start[static_cast<std::size_t>(basis_atom[i])];
    for (std::size_t a = 0; a < p.atoms; ++a) p.atom_start[a + 1] += p.atom_start[a];
    p.atom_funcs.resize(n);
    {
        std::vector<std::size_t> fill(p.atom_start.begin(), p.atom_start.end() - 1);
        for (std::size_t i = 0; i < n; ++i)
            p.atom_funcs[fill[static_cast<std::size_t>(basis_atom[i] - 1)]++] = i;
    }

    // Exponent sets per atom, and function types (kind, set, coefficients).
    struct Type {
        int kind;
        int set;
        std::array<double, 6> coef;
    };
    std::vector<Type> types;
    p.atom_set.assign(p.atoms, -1);
    p.atom_kinds.assign(p.atoms, 0);
    p.atom_nitrogen.assign(p.atoms, 0);
    p.type.resize(n);
    for (std::size_t a = 0; a < p.atoms; ++a) {
        p.atom_nitrogen[a] = is_nitrogen(basis.symbol[a]) ? 1 : 0;
        const std::size_t first = p.atom_start[a];
        const std::size_t last = p.atom_start[a + 1];
        if (first == last) continue;
        const double* exps = &alfa[6 * p.atom_funcs[first]];
        int set = -1;
        for (std::size_t s = 0; s < p.set_exp.size(); ++s)
            if (same_tuple(exps, p.set_exp[s])) set = static_cast<int>(s);
        if (set < 0) {
            if (p.set_exp.size() == max_sets) return std::nullopt;
            std::array<double, 6> e;
            std::memcpy(e.data(), exps, sizeof e);
            p.set_exp.push_back(e);
            set = static_cast<int>(p.set_exp.size() - 1);
        }
        p.atom_set[a] = set;
        for (std::size_t f = first; f < last; ++f) {
            const std::size_t i = p.atom_funcs[f];
            if (!same_tuple(&alfa[6 * i], p.set_exp[static_cast<std::size_t>(set)])) return std::nullopt;
            p.atom_kinds[a] = static_cast<unsigned char>(p.atom_kinds[a] | (1u << p.kind[i]));
            int t = -1;
            for (std::size_t u = 0; u < types.size(); ++u)
                if (types[u].kind == p.kind[i] && types[u].set == set && same_tuple(&d[6 * i], types[u].coef))
                    t = static_cast<int>(u);
            if (t < 0) {
                if (types.size() == max_types) return std::nullopt;
                Type ty{p.kind[i], set, {}};
                std::memcpy(ty.coef.data(), &d[6 * i], sizeof ty.coef);
                types.push_back(ty);
                t = static_cast<int>(types.size() - 1);
            }
            p.type[i] = t;
        }
    }
    p.set_count = p.set_exp.size();
    p.type_count = types.size();

    // The tables evaluate some combinations the plain path may never meet (a type pair in the
    // other order, say). That is harmless only if they raise nothing but inexact; otherwise the
    // plain evaluation is used, so that the floating-point note stays the same.
    const FpFlags before = take_thread_fp_flags();
    p.mu.resize(p.set_count * p.set_count * 36);
    for (std::size_t a = 0; a < p.set_count; ++a)
        for (std::size_t b = 0; b < p.set_count; ++b)
            for (std::size_t k = 0; k < 6; ++k)
                for (std::size_t l = 0; l < 6; ++l) {
                    const double alpha = p.set_exp[a][k];
                    const double beta = p.set_exp[b][l];
                    p.mu[(a * p.set_count + b) * 36 + k * 6 + l] = reduced_exponent(alpha, beta);
                }
    p.prefix.resize(p.type_count * p.type_count * 36);
    // A prefix depends on the two types' formula (s2, sp, ps, p2 or pp), exponent sets and
    // coefficients, not on which p axes they have: a block whose class pair and formula were met
    // before is a copy of that one. Classes: types alike but for the axis share the first one's.
    const std::size_t tc = p.type_count;
    std::vector<std::size_t> cls(tc);
    for (std::size_t t = 0; t < tc; ++t) {
        cls[t] = t;
        for (std::size_t u = 0; u < t && cls[t] == t; ++u)
            if ((types[u].kind == 0) == (types[t].kind == 0) && types[u].set == types[t].set &&
                same_tuple(types[u].coef.data(), types[t].coef))
                cls[t] = u;
    }
    auto formula = [](int kf, int ks) -> std::size_t {
        if (kf == 0) return ks == 0 ? 0 : 1;
        if (ks == 0) return 2;
        return kf == ks ? 3 : 4;
    };
    std::vector<std::size_t> block_of(tc * tc * 5, tc * tc);  // (class, class, formula): first block
    // A pair of exponent sets needs six powers of alpha*beta and alpha+beta per primitive pair,
    // whichever types of function carry them and in either order, and each exponent two of its own.
    PowerMemo power(p.set_count * (p.set_count + 1) / 2 * 36 * 6 + 64);
    for (std::size_t a = 0; a < tc; ++a)
        for (std::size_t b = 0; b < tc; ++b) {
            const Type& f = types[a];
            const Type& s = types[b];
            double* block = &p.prefix[(a * tc + b) * 36];
            std::size_t& first = block_of[(cls[a] * tc + cls[b]) * 5 + formula(f.kind, s.kind)];
            if (first < tc * tc) {
                std::memcpy(block, &p.prefix[first * 36], 36 * sizeof(double));
                continue;
            }
            first = a * tc + b;
            for (std::size_t k = 0; k < 6; ++k)
                for (std::size_t l = 0; l < 6; ++l)
                    block[k * 6 + l] = term_prefix(f.kind, s.kind, p.set_exp[static_cast<std::size_t>(f.set)][k],
                                                   p.set_exp[static_cast<std::size_t>(s.set)][l], f.coef[k],
                                                   s.coef[l], power);
        }
    const FpFlags tables = take_thread_fp_flags();
    raise_thread_fp_flags(before);
    if ((tables.except & ~FE_INEXACT) != 0 || tables.denormal) return std::nullopt;
    raise_thread_fp_flags(tables);

    p.tame = true;
    for (const auto& set : p.set_exp)
        for (double e : set) p.tame = p.tame && magnitude_within(e, -60, 60);
    for (double x : p.prefix) p.tame = p.tame && zero_or_within(x, -250, 250);
    return p;
}

}  // namespace zephor
