// Overlap and Hamiltonian assembly: normalisation of each contraction, the upper triangle of the
// overlap summed primitive pair by primitive pair, the mirror, and the Hamiltonian rules.
//
// Two evaluations give the same bits. The reference calls s2, sp, p2 and pp for each of the 36
// primitive pairs of every pair of functions. The fast one works atom pair by atom pair: all
// functions of an atom share its six exponents, so each primitive pair's exp(-mu R^2) is formed
// once per atom pair and shared by all its function pairs, and the geometry-free part of every
// term (coefficients, K and the powers, multiplied left to right exactly as in the routines) is
// tabulated once per pair of function types. Same inputs to the same operations in the same order
// give the same bits; the summation order over k and l is untouched.
#include "integrals/s_h_matrix.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

#include "common/thread_fp_flags.hpp"
#include "integrals/primitive_overlap.hpp"

namespace zephor {

namespace {

// 0 for an s label, 1 + axis (1 = x, 2 = y, 3 = z) for a p label. Labels other than the four
// never reach the assembly (the input reader rejects unknown elements).
inline int kind_of(const Label& g) {
    if (g == label_ss) return 0;
    if (g == label_px) return 1;
    if (g == label_py) return 2;
    return 3;
}

// Axis order for a single p axis u: x,y,z for x; y,x,z for y; z,y,x for z.
constexpr int single_order[3][3] = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}};

using OverlapFn = double (*)(double, double, double, double, double, double, double, double,
                             double, double);

inline double call(OverlapFn f, const int* o, const double* a, const double* b, double alpha,
                   double beta, double ca, double cb) {
    return f(a[o[0]], a[o[1]], a[o[2]], b[o[0]], b[o[1]], b[o[2]], alpha, beta, ca, cb);
}

inline std::size_t at(std::size_t n, std::size_t i, std::size_t j) { return i + j * n; }

inline const double* centre_of(const std::vector<double>& r,
                               const std::vector<std::int32_t>& basis_atom, std::size_t i) {
    return &r[3 * static_cast<std::size_t>(basis_atom[i] - 1)];
}

// The raw self-overlap of contraction i: its 36 primitive pairs at one centre, in k, l order.
double raw_self_overlap(const std::vector<Label>& g, const std::vector<double>& alfa,
                        const std::vector<double>& d, const double* a, std::size_t i) {
    double sum = 0.0;
    for (std::size_t k = 0; k < 6; ++k)
        for (std::size_t l = 0; l < 6; ++l)
            sum += primitive_pair(g[6 * i + k], a, alfa[6 * i + k], d[6 * i + k], g[6 * i + l], a,
                                  alfa[6 * i + l], d[6 * i + l]);
    return sum;
}

// s(i, j), i <= j, by the plain evaluation.
double plain_overlap(const std::vector<Label>& g, const std::vector<double>& alfa,
                     const std::vector<double>& d, const double* a, const double* b,
                     const std::vector<double>& norm, std::size_t i, std::size_t j) {
    const double nn = norm[i] * norm[j];
    double sum = 0.0;
    for (std::size_t k = 0; k < 6; ++k)
        for (std::size_t l = 0; l < 6; ++l)
            sum += nn * primitive_pair(g[6 * i + k], a, alfa[6 * i + k], d[6 * i + k],
                                       g[6 * j + l], b, alfa[6 * j + l], d[6 * j + l]);
    return sum;
}

// Wolfsberg-Helmholz, or the nitrogen rule (eV); hii and hmm are the two level energies.
inline double hamiltonian_element(bool nitrogen, double hii, double hmm, double sim) {
    return nitrogen ? -(35.0 * sim) : (hii + hmm) * 0.875 * sim;
}

inline bool is_nitrogen(const std::string& symbol) { return symbol == "N   "; }

}  // namespace

double primitive_pair(const Label& gi, const double* a, double alpha, double ca,
                      const Label& gj, const double* b, double beta, double cb) {
    const int ki = kind_of(gi);
    const int kj = kind_of(gj);
    if (ki == 0 && kj == 0) return call(s2, single_order[0], a, b, alpha, beta, ca, cb);
    if (ki == 0) return call(sp, single_order[kj - 1], a, b, alpha, beta, ca, cb);
    // The s primitive always goes first: exchange centres, exponents and coefficients.
    if (kj == 0) return call(sp, single_order[ki - 1], b, a, beta, alpha, cb, ca);
    if (ki == kj) return call(p2, single_order[ki - 1], a, b, alpha, beta, ca, cb);
    const int u = ki - 1;
    const int v = kj - 1;
    const int order[3] = {u, v, 3 - u - v};
    return call(pp, order, a, b, alpha, beta, ca, cb);
}

void s_h_matrix_reference(std::vector<double>& s, std::vector<double>& ham,
                          const std::vector<std::string>& symbol, const std::vector<Label>& g,
                          const std::vector<double>& alfa, const std::vector<double>& d,
                          const std::vector<double>& r, const std::vector<std::int32_t>& basis_atom,
                          std::vector<double>& norm, std::int32_t basis_count) {
    const std::size_t n = static_cast<std::size_t>(basis_count);

    for (std::size_t e = 0; e < n * n; ++e) s[e] = 0.0;
    for (std::size_t i = 0; i < n; ++i) norm[i] = 0.0;

    // Normalisation: the raw self-overlap of each contraction, raised to -0.5.
    for (std::size_t i = 0; i < n; ++i) {
        s[at(n, i, i)] = raw_self_overlap(g, alfa, d, centre_of(r, basis_atom, i), i);
        norm[i] = std::pow(s[at(n, i, i)], -0.5);
    }
    for (std::size_t i = 0; i < n; ++i) s[at(n, i, i)] = 0.0;

    // Upper triangle with the diagonal; the diagonal comes out 1 only up to rounding.
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i; j < n; ++j)
            s[at(n, i, j)] = plain_overlap(g, alfa, d, centre_of(r, basis_atom, i),
                                           centre_of(r, basis_atom, j), norm, i, j);

    for (std::size_t c = 0; c + 1 < n; ++c)
        for (std::size_t m = c + 1; m < n; ++m) s[at(n, m, c)] = s[at(n, c, m)];

    auto on_nitrogen = [&](std::size_t i) {
        return is_nitrogen(symbol[static_cast<std::size_t>(basis_atom[i] - 1)]);
    };
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (std::size_t m = i + 1; m < n; ++m) {
            const double h = hamiltonian_element(on_nitrogen(i) || on_nitrogen(m), ham[at(n, i, i)],
                                                 ham[at(n, m, m)], s[at(n, i, m)]);
            ham[at(n, i, m)] = h;
            ham[at(n, m, i)] = h;
        }
    }
}

namespace {

// exp(t) is +0 for every finite t below this: e^-746 is under half the smallest subnormal,
// 2^-1075. The C library then raises underflow and inexact, which are raised here instead.
constexpr double exp_zero_below = -746.0;
const FpFlags exp_zero_flags{FE_UNDERFLOW | FE_INEXACT, false};

inline bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// |x| within [2^lo, 2^hi].
inline bool magnitude_within(double x, int lo, int hi) {
    const double m = std::fabs(x);
    return m >= std::ldexp(1.0, lo) && m <= std::ldexp(1.0, hi);
}

inline bool zero_or_within(double x, int lo, int hi) {
    return x == 0.0 || magnitude_within(x, lo, hi);
}

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

// Limits on the number of distinct exponent sets and function types for the tabulated path; the
// element table gives at most 6 and 21. Other inputs take the plain evaluation (on threads).
constexpr std::size_t max_sets = 32;
constexpr std::size_t max_types = 64;

struct Plan {
    std::size_t n = 0;
    std::size_t atoms = 0;
    std::vector<std::size_t> atom_start;  // functions of atom a: atom_funcs[atom_start[a] ...)
    std::vector<std::size_t> atom_funcs;  // ascending within each atom
    std::vector<int> kind;                // per function: 0 s, 1 + axis for p
    std::vector<int> type;                // per function
    std::vector<int> atom_set;            // per atom: its exponent set
    std::vector<unsigned char> atom_kinds;  // bit k set when the atom has a function of kind k
    std::vector<unsigned char> atom_nitrogen;
    std::vector<std::array<double, 6>> set_exp;
    std::size_t set_count = 0;
    std::size_t type_count = 0;
    std::vector<double> mu;      // (set a, set b): 36 values alpha*beta/(alpha+beta), [k*6+l]
    std::vector<double> prefix;  // (first type, second type): 36 geometry-free term prefixes
    // Every exponent, norm and prefix is so tame that, with an exponential of exactly zero, the
    // rest of a term can raise at most inexact; an all-zero block may then be skipped whole.
    bool tame = false;
};

// The part of a term before the first geometry factor, multiplied exactly as s2, sp, p2 and pp
// do: coefficients, K, then the powers. Kinds are those of the first and second function.
double term_prefix(int kf, int ks, double alpha, double beta, double ca, double cb) {
    const double ab = alpha * beta;
    const double sum = alpha + beta;
    if (kf == 0 && ks == 0) return ca * cb * overlap_k * std::pow(ab, 0.75) * std::pow(sum, -1.5);
    if (kf == 0)
        return ca * cb * overlap_2k * std::pow(alpha, 1.75) * std::pow(beta, 1.25) *
               std::pow(sum, -2.5);
    if (ks == 0)  // sp with the primitives exchanged: the s one (second here) goes first
        return cb * ca * overlap_2k * std::pow(beta, 1.75) * std::pow(alpha, 1.25) *
               std::pow(beta + alpha, -2.5);
    if (kf == ks) return ca * cb * overlap_2k * std::pow(ab, 1.25) * std::pow(sum, -3.5);
    return -ca * cb * overlap_4k * std::pow(ab, 2.25) * std::pow(sum, -3.5);
}

template <std::size_t N>
bool same_tuple(const double* a, const std::array<double, N>& b) {
    for (std::size_t k = 0; k < N; ++k)
        if (!same_bits(a[k], b[k])) return false;
    return true;
}

std::optional<Plan> make_plan(const std::vector<std::string>& symbol, const std::vector<Label>& g,
                              const std::vector<double>& alfa, const std::vector<double>& d,
                              const std::vector<double>& r,
                              const std::vector<std::int32_t>& basis_atom, std::size_t n) {
    Plan p;
    p.n = n;
    p.atoms = r.size() / 3;
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
        p.atom_nitrogen[a] = is_nitrogen(symbol[a]) ? 1 : 0;
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
                    p.mu[(a * p.set_count + b) * 36 + k * 6 + l] = alpha * beta / (alpha + beta);
                }
    p.prefix.resize(p.type_count * p.type_count * 36);
    for (std::size_t a = 0; a < p.type_count; ++a)
        for (std::size_t b = 0; b < p.type_count; ++b)
            for (std::size_t k = 0; k < 6; ++k)
                for (std::size_t l = 0; l < 6; ++l) {
                    const Type& f = types[a];
                    const Type& s = types[b];
                    p.prefix[(a * p.type_count + b) * 36 + k * 6 + l] = term_prefix(
                        f.kind, s.kind, p.set_exp[static_cast<std::size_t>(f.set)][k],
                        p.set_exp[static_cast<std::size_t>(s.set)][l], f.coef[k], s.coef[l]);
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

// Shared quantities of one atom pair (p, q), p <= q, and the function pairs built on them.
struct AtomPair {
    const Plan& plan;
    const std::vector<double>& alfa;
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
                    const double bracket = (1.0 - (2.0 * beta[l]) * d1sq) * alpha[k] + beta[l];
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
                   const std::vector<Label>& g, const std::vector<double>& alfa,
                   const std::vector<double>& d, const std::vector<double>& r,
                   const std::vector<std::int32_t>& basis_atom, std::vector<double>& norm) {
    const std::size_t n = plan.n;
    const std::size_t atoms = plan.atoms;
    const long long atoms_ll = static_cast<long long>(atoms);
    FpFlagsCollector flags;
    bool tame_norms = true;
#pragma omp parallel if (static_cast<long long>(n) >= threads_from_basis_count)
    {
        flags.enter();
#pragma omp for schedule(static) reduction(&& : tame_norms)
        for (long long ii = 0; ii < static_cast<long long>(n); ++ii) {
            const std::size_t i = static_cast<std::size_t>(ii);
            norm[i] = std::pow(raw_self_overlap(g, alfa, d, centre_of(r, basis_atom, i), i), -0.5);
            tame_norms = tame_norms && magnitude_within(norm[i], -60, 60);
        }
        // (the implicit barrier makes every norm visible below)
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
                AtomPair ap{plan, alfa, norm, p, q, {}, {}, {}};
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
                bool all_zero = true;
                for (int v = 0; v < 3; ++v) {
                    if (!needed[v]) continue;
                    for (std::size_t kl = 0; kl < 36; ++kl) {
                        const double t = -(mu[kl] * r2[v]);
                        const bool zero = t < exp_zero_below && std::isfinite(t);
                        ap.e[v][kl] = t;
                        all_zero = all_zero && zero;
                    }
                }
                const bool skip = all_zero && tame && tame_geometry;
                for (int v = 0; v < 3 && !skip; ++v) {
                    if (!needed[v]) continue;
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

                for (std::size_t a = p0; a < p1; ++a) {
                    const std::size_t fa = plan.atom_funcs[a];
                    for (std::size_t b = (p == q ? a : q0); b < q1; ++b) {
                        const std::size_t fb = plan.atom_funcs[b];
                        const bool a_first = fa <= fb;
                        const std::size_t i = a_first ? fa : fb;
                        const std::size_t j = a_first ? fb : fa;
                        // Every term of a skipped block is zero and the sum stays +0.
                        const double sij = skip ? 0.0 : ap.overlap(i, j, a_first);
                        s[at(n, i, j)] = sij;
                        s[at(n, j, i)] = sij;
                        if (i != j) {
                            const double h = hamiltonian_element(
                                plan.atom_nitrogen[p] || plan.atom_nitrogen[q], ham[at(n, i, i)],
                                ham[at(n, j, j)], sij);
                            ham[at(n, i, j)] = h;
                            ham[at(n, j, i)] = h;
                        }
                    }
                }
            }
        }
        if (exp_zero_seen) flags.add(exp_zero_flags);
        flags.leave();
    }
}

// The plain evaluation, element by element on threads: for inputs the tables do not cover.
void plain_assembly_on_threads(std::vector<double>& s, std::vector<double>& ham,
                               const std::vector<std::string>& symbol, const std::vector<Label>& g,
                               const std::vector<double>& alfa, const std::vector<double>& d,
                               const std::vector<double>& r,
                               const std::vector<std::int32_t>& basis_atom,
                               std::vector<double>& norm, std::size_t n) {
    const long long nl = static_cast<long long>(n);
    FpFlagsCollector flags;
#pragma omp parallel if (nl >= threads_from_basis_count)
    {
        flags.enter();
#pragma omp for schedule(static)
        for (long long ii = 0; ii < nl; ++ii) {
            const std::size_t i = static_cast<std::size_t>(ii);
            norm[i] = std::pow(raw_self_overlap(g, alfa, d, centre_of(r, basis_atom, i), i), -0.5);
        }
#pragma omp for schedule(dynamic, 1)
        for (long long ii = 0; ii < nl; ++ii) {
            const std::size_t i = static_cast<std::size_t>(ii);
            for (std::size_t j = i; j < n; ++j) {
                const double sij = plain_overlap(g, alfa, d, centre_of(r, basis_atom, i),
                                                 centre_of(r, basis_atom, j), norm, i, j);
                s[at(n, i, j)] = sij;
                s[at(n, j, i)] = sij;
            }
        }
#pragma omp for schedule(dynamic, 16)
        for (long long ii = 0; ii < nl; ++ii) {
            const std::size_t i = static_cast<std::size_t>(ii);
            const bool ni = is_nitrogen(symbol[static_cast<std::size_t>(basis_atom[i] - 1)]);
            for (std::size_t m = i + 1; m < n; ++m) {
                const bool nm = is_nitrogen(symbol[static_cast<std::size_t>(basis_atom[m] - 1)]);
                const double h = hamiltonian_element(ni || nm, ham[at(n, i, i)], ham[at(n, m, m)],
                                                     s[at(n, i, m)]);
                ham[at(n, i, m)] = h;
                ham[at(n, m, i)] = h;
            }
        }
        flags.leave();
    }
}

}  // namespace

void s_h_matrix(std::vector<double>& s, std::vector<double>& ham,
                const std::vector<std::string>& symbol, const std::vector<Label>& g,
                const std::vector<double>& alfa, const std::vector<double>& d,
                const std::vector<double>& r, const std::vector<std::int32_t>& basis_atom,
                std::vector<double>& norm, std::int32_t basis_count) {
    const std::size_t n = basis_count > 0 ? static_cast<std::size_t>(basis_count) : 0;
    if (n == 0) return;
    if (const std::optional<Plan> plan = make_plan(symbol, g, alfa, d, r, basis_atom, n))
        fast_assembly(*plan, s, ham, g, alfa, d, r, basis_atom, norm);
    else
        plain_assembly_on_threads(s, ham, symbol, g, alfa, d, r, basis_atom, norm, n);
}

}  // namespace zephor
