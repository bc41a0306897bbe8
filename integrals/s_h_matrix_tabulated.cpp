// The tabulated assembly. It works atom pair by atom pair: all functions of an atom share its six
// exponents, so each primitive pair's exp(-mu R^2) is formed once per atom pair and shared by all
// its function pairs, and the geometry-free part of every term (primitive_overlap's prefixes) is
// tabulated once per pair of function types. Same inputs to the same operations in the same order
// give the same bits as the plain evaluation; the summation order over k and l is untouched.
#include "integrals/s_h_matrix_tabulated.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

#include "common/thread_fp_flags.hpp"
#include "integrals/primitive_overlap.hpp"
#include "integrals/s_h_matrix.hpp"
#include "integrals/tabulation_plan.hpp"

namespace zephor {

namespace {

// exp(t) is +0 for every finite t below this: e^-746 is under half the smallest subnormal,
// 2^-1075. The C library then raises underflow and inexact, which are raised here instead.
constexpr double exp_zero_below = -746.0;
const FpFlags exp_zero_flags{FE_UNDERFLOW | FE_INEXACT, false};

// The three orders in which the plain routines sum the squared distance (their first two terms
// commute, so the six axis orders give three values).
enum Variant { xy, xz, yz };  // (dx²+dy²)+dz², (dx²+dz²)+dy², (dy²+dz²)+dx²

inline Variant single_variant(int axis) { return axis == 2 ? yz : xy; }
inline Variant pair_variant(int u, int v) {
    const int missing = 3 - u - v;  // the axis summed last
    return missing == 2 ? xy : (missing == 1 ? xz : yz);
}

// The variant the plain routine uses for a first function of kind kf and a second of kind ks.
inline Variant variant_of(int kf, int ks) {
    if (kf == 0 && ks == 0) return xy;
    if (kf == 0 || ks == 0) return single_variant((kf == 0 ? ks : kf) - 1);
    if (kf == ks) return single_variant(kf - 1);
    return pair_variant(kf - 1, ks - 1);
}

// Bit v set when some function pair between atoms with these kind masks (bit k for kind k)
// uses variant v. Within one atom every pair of its kinds occurs as well (in one order, and
// the variant does not depend on the order).
unsigned variants_needed(unsigned kinds_p, unsigned kinds_q) {
    unsigned need = 0;
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
            if ((kinds_p >> a & 1u) && (kinds_q >> b & 1u)) need |= 1u << variant_of(a, b);
    return need;
}

// Shared quantities of one atom pair (p, q), p <= q, and the function pairs built on them.
struct AtomPair {
    const Plan& plan;
    std::span<const double> alfa;
    const std::vector<double>& norm;
    std::size_t p, q;
    double dpq[3];  // centre p minus centre q, per axis
    double dqp[3];
    double e[3][36];  // exp(-mu R²) per distance variant, [k of p's set * 6 + l of q's set]

    // s(i, j) for i on atom `on_p ? p : q` as the first function (the lower index) and j on
    // the other atom, in the plain evaluation's term order.
    double overlap(std::size_t i, std::size_t j, bool first_on_p) const {
        const int kf = plan.kind[i];
        const int ks = plan.kind[j];
        const double* pre = &plan.prefix[(static_cast<std::size_t>(plan.type[i]) * plan.type_count +
                                          static_cast<std::size_t>(plan.type[j])) * 36];
        const double* fs = first_on_p ? dpq : dqp;  // first centre minus second
        const double* sf = first_on_p ? dqp : dpq;
        // e[v] is indexed by p's primitive first; k belongs to the first function.
        const std::size_t sk = first_on_p ? 6 : 1;
        const std::size_t sl = first_on_p ? 1 : 6;
        const double nn = norm[i] * norm[j];
        double sum = 0.0;
        if (kf == 0 && ks == 0) {
            const double* ev = e[variant_of(0, 0)];
            for (std::size_t k = 0; k < 6; ++k)
                for (std::size_t l = 0; l < 6; ++l) sum += nn * (pre[k * 6 + l] * ev[k * sk + l * sl]);
        } else if (kf == 0 || ks == 0) {
            const int u = (kf == 0 ? ks : kf) - 1;
            // sp takes the s centre minus the p centre along the p axis.
            const double d1 = (kf == 0) ? fs[u] : sf[u];
            const double* ev = e[single_variant(u)];
            for (std::size_t k = 0; k < 6; ++k)
                for (std::size_t l = 0; l < 6; ++l)
                    sum += nn * (pre[k * 6 + l] * d1 * ev[k * sk + l * sl]);
        } else if (kf == ks) {
            const int u = kf - 1;
            const double d1 = fs[u];
            const double d1sq = d1 * d1;
            const double* alpha = &alfa[6 * i];
            const double* beta = &alfa[6 * j];
            const double* ev = e[single_variant(u)];
            for (std::size_t k = 0; k < 6; ++k)
                for (std::size_t l = 0; l < 6; ++l) {
                    const double bracket = p2_bracket(alpha[k], beta[l], d1sq);
                    sum += nn * (pre[k * 6 + l] * bracket * ev[k * sk + l * sl]);
                }
        } else {
            const int u = kf - 1;
            const int v = ks - 1;
            const double d1 = fs[u];
            const double d2 = fs[v];
            const double* ev = e[pair_variant(u, v)];
            for (std::size_t k = 0; k < 6; ++k)
                for (std::size_t l = 0; l < 6; ++l)
                    sum += nn * (pre[k * 6 + l] * d1 * d2 * ev[k * sk + l * sl]);
        }
        return sum;
    }
};

void fast_assembly(const Plan& plan, std::vector<double>& s, std::vector<double>& ham,
                   const BasisView& basis, std::vector<double>& norm) {
    const auto& r = basis.r;
    const std::size_t n = plan.n;
    const std::size_t atoms = plan.atoms;
    const long long atoms_ll = static_cast<long long>(atoms);
    // A function's self-overlap depends on its type alone wherever its finite centre lies (the
    // distances are exact zeros), so each type's norm is formed once and shared, on this thread
    // (its flags are the ones a run reports). A centre that is not finite gives NaN distances:
    // such a function is normalised on its own.
    bool tame_norms = true;
    {
        auto own_norm = [&](std::size_t i) { return std::pow(raw_self_overlap(basis, i), -0.5); };
        std::vector<double> type_norm(plan.type_count);
        std::vector<char> known(plan.type_count, 0);
        for (std::size_t i = 0; i < n; ++i) {
            const double* c = centre_of(basis, i);
            const std::size_t t = static_cast<std::size_t>(plan.type[i]);
            const bool finite = std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]);
            if (finite && !known[t]) {
                type_norm[t] = own_norm(i);
                known[t] = 1;
            }
            norm[i] = finite ? type_norm[t] : own_norm(i);
            tame_norms = tame_norms && magnitude_within(norm[i], -60, 60);
        }
    }
    FpFlagsCollector flags;
#pragma omp parallel if (static_cast<long long>(n) >= threads_from_basis_count)
    {
        flags.enter();
        const bool tame = plan.tame && tame_norms;
        bool exp_zero_seen = false;
#pragma omp for schedule(dynamic, 1)
        for (long long pp_ = 0; pp_ < atoms_ll; ++pp_) {
            const std::size_t p = static_cast<std::size_t>(pp_);
            const std::size_t p0 = plan.atom_start[p];
            const std::size_t p1 = plan.atom_start[p + 1];
            if (p0 == p1) continue;
            for (std::size_t q = p; q < atoms; ++q) {
                const std::size_t q0 = plan.atom_start[q];
                const std::size_t q1 = plan.atom_start[q + 1];
                if (q0 == q1) continue;
                AtomPair ap{plan, basis.alfa, norm, p, q, {}, {}, {}};
                const double* rp = &r[3 * p];
                const double* rq = &r[3 * q];
                double sq[3];
                bool tame_geometry = true;
                for (int x = 0; x < 3; ++x) {
                    ap.dpq[x] = rp[x] - rq[x];
                    ap.dqp[x] = rq[x] - rp[x];
                    sq[x] = ap.dpq[x] * ap.dpq[x];
                    tame_geometry = tame_geometry && zero_or_within(ap.dpq[x], -250, 60);
                }
                // Only the variants that the plain routines form for this pair of atoms.
                const unsigned need = variants_needed(plan.atom_kinds[p], plan.atom_kinds[q]);
                const bool needed[3] = {(need & 1u << xy) != 0, (need & 1u << xz) != 0,
                                        (need & 1u << yz) != 0};
                double r2[3];
                if (needed[xy]) r2[xy] = (sq[0] + sq[1]) + sq[2];
                if (needed[xz]) r2[xz] = (sq[0] + sq[2]) + sq[1];
                if (needed[yz]) r2[yz] = (sq[1] + sq[2]) + sq[0];
                const double* mu = &plan.mu[(static_cast<std::size_t>(plan.atom_set[p]) * plan.set_count +
                                             static_cast<std::size_t>(plan.atom_set[q])) * 36];
                // Two orders of the sum often round alike: a variant whose distance has the same
                // bits as an earlier one has the same exponentials, copied from it.
                int same_as[3] = {-1, -1, -1};
                for (int v = 1; v < 3; ++v)
                    for (int w = 0; w < v && same_as[v] < 0; ++w)
                        if (needed[v] && needed[w] && same_as[w] < 0 &&
                            std::bit_cast<std::uint64_t>(r2[v]) == std::bit_cast<std::uint64_t>(r2[w]))
                            same_as[v] = w;
                bool all_zero = true;
                for (int v = 0; v < 3; ++v) {
                    if (!needed[v] || same_as[v] >= 0) continue;
                    for (std::size_t kl = 0; kl < 36; ++kl) {
                        const double t = -(mu[kl] * r2[v]);
                        const bool zero = t < exp_zero_below && std::isfinite(t);
                        ap.e[v][kl] = t;
                        all_zero = all_zero && zero;
                    }
                }
                const bool skip = all_zero && tame && tame_geometry;
                for (int v = 0; v < 3 && !skip; ++v) {
                    if (!needed[v] || same_as[v] >= 0) continue;
                    for (std::size_t kl = 0; kl < 36; ++kl) {
                        const double t = ap.e[v][kl];
                        if (t < exp_zero_below && std::isfinite(t)) {
                            ap.e[v][kl] = 0.0;
                            exp_zero_seen = true;
                        } else {
                            ap.e[v][kl] = std::exp(t);
                        }
                    }
                }
                if (all_zero) exp_zero_seen = true;
                for (int v = 1; v < 3; ++v)
                    if (same_as[v] >= 0) std::memcpy(ap.e[v], ap.e[same_as[v]], sizeof ap.e[v]);

                for (std::size_t a = p0; a < p1; ++a) {
                    const std::size_t fa = plan.atom_funcs[a];
                    for (std::size_t b = (p == q ? a : q0); b < q1; ++b) {
                        const std::size_t fb = plan.atom_funcs[b];
                        const bool a_first = fa <= fb;
                        const std::size_t i = a_first ? fa : fb;
                        const std::size_t j = a_first ? fb : fa;
                        // Every term of a skipped block is zero and the sum stays +0.
                        const double sij = skip ? 0.0 : ap.overlap(i, j, a_first);
                        // The lower triangle only, down the columns of a's functions as b runs
                        // (its mirror image would stride a whole column per element); the upper
                        // one is copied from it below.
                        s[at(n, j, i)] = sij;
                        if (i != j)
                            ham[at(n, j, i)] = hamiltonian_element(plan.atom_nitrogen[p] || plan.atom_nitrogen[q],
                                                                   ham[at(n, i, i)], ham[at(n, j, j)], sij);
                    }
                }
            }
        }
        if (exp_zero_seen) flags.add(exp_zero_flags);
        // The upper triangle: copies of the lower one, in square blocks that stay in cache.
        constexpr std::size_t block = 64;
        const long long blocks = static_cast<long long>((n + block - 1) / block);
#pragma omp for schedule(dynamic, 1)
        for (long long bb = 0; bb < blocks; ++bb) {
            const std::size_t c0 = static_cast<std::size_t>(bb) * block;
            const std::size_t c1 = std::min(n, c0 + block);
            for (std::size_t r0 = 0; r0 <= c0; r0 += block) {
                const std::size_t r1 = std::min(n, r0 + block);
                for (std::size_t col = c0; col < c1; ++col)
                    for (std::size_t row = r0; row < std::min(r1, col); ++row) {
                        s[at(n, row, col)] = s[at(n, col, row)];
                        ham[at(n, row, col)] = ham[at(n, col, row)];
                    }
            }
        }
        flags.leave();
    }
}

}  // namespace

bool s_h_matrix_tabulated(std::vector<double>& s, std::vector<double>& ham, const BasisView& basis,
                          std::vector<double>& norm) {
    const std::size_t n = basis.basis_count > 0 ? static_cast<std::size_t>(basis.basis_count) : 0;
    const std::optional<Plan> plan = make_plan(basis, n);
    if (!plan) return false;
    fast_assembly(*plan, s, ham, basis, norm);
    return true;
}

}  // namespace zephor
