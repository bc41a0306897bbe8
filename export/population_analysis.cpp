// Population analyses from P = 2 sum_occ c c^T (orbitals normalised against S) and S. The matrix
// products and the eigenvectors of S come from the linear-algebra library zephor loads; they are
// the companion's analyses, so their last bits are not held to zephor's order.
#include "export/population_analysis.hpp"

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "export/checkpoint_reader.hpp"
#include "export/errors.hpp"
#include "export/orbitals.hpp"
#include "export/results_json.hpp"
#include "solver/lapack_library.hpp"

namespace zephor::exporter {

namespace {

using dgemm_fn = void(const char*, const char*, const int*, const int*, const int*, const double*, const double*,
                      const int*, const double*, const int*, const double*, double*, const int*, std::size_t,
                      std::size_t);
using dsyevd_fn = void(const char*, const char*, const int*, double*, const int*, double*, double*, const int*,
                       int*, const int*, int*, std::size_t, std::size_t);

struct Lapack {
    dgemm_fn* dgemm = nullptr;
    dsyevd_fn* dsyevd = nullptr;
};

Lapack lapack(void* lib) {
    if (lib == nullptr) throw RequestError(std::string("the analyses need the linear-algebra library: ") + dlerror());
    Lapack l;
    l.dgemm = reinterpret_cast<dgemm_fn*>(dlsym(lib, "dgemm_"));
    l.dsyevd = reinterpret_cast<dsyevd_fn*>(dlsym(lib, "dsyevd_"));
    if (l.dgemm == nullptr || l.dsyevd == nullptr)
        throw RequestError("the analyses need dgemm and dsyevd, which the linear-algebra library lacks");
    return l;
}

// c = op(a) op(b), all n x n column-major.
std::vector<double> product(const Lapack& l, const std::vector<double>& a, char ta, const std::vector<double>& b,
                            char tb, int n, int k = -1) {
    const int kk = k < 0 ? n : k;
    std::vector<double> c(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    const double one = 1.0, zero = 0.0;
    const int lda = ta == 'N' ? n : kk, ldb = tb == 'N' ? kk : n;
    l.dgemm(&ta, &tb, &n, &n, &kk, &one, a.data(), &lda, b.data(), &ldb, &zero, c.data(), &n, 1, 1);
    return c;
}

// S^(1/2) = U diag(sqrt(lambda)) U^T, as (U lambda^(1/4)) (U lambda^(1/4))^T.
std::vector<double> square_root(const Lapack& l, std::vector<double> s, int n) {
    std::vector<double> w(static_cast<std::size_t>(n));
    int lwork = -1, liwork = -1, info = 0, iquery = 0;
    double query = 0.0;
    l.dsyevd("V", "L", &n, s.data(), &n, w.data(), &query, &lwork, &iquery, &liwork, &info, 1, 1);
    lwork = static_cast<int>(query) + 1;
    liwork = iquery + 1;
    std::vector<double> work(static_cast<std::size_t>(lwork));
    std::vector<int> iwork(static_cast<std::size_t>(liwork));
    l.dsyevd("V", "L", &n, s.data(), &n, w.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1, 1);
    if (info != 0 || (n > 0 && !(w[0] > 0.0)))
        throw RequestError("the overlap matrix is not positive definite here (dsyevd info " + std::to_string(info) + ")");
    const std::size_t un = static_cast<std::size_t>(n);
    for (std::size_t k = 0; k < un; ++k) {
        const double f = std::sqrt(std::sqrt(w[k]));
        for (std::size_t i = 0; i < un; ++i) s[k * un + i] *= f;
    }
    return product(l, s, 'N', s, 'T', n);
}

// Sums of f(mu, nu) over the functions of each pair of atoms, into an atoms x atoms matrix with a
// zero diagonal.
template <class F>
std::vector<double> atom_blocks(const Basis& b, std::size_t atoms, F f) {
    const std::size_t n = static_cast<std::size_t>(b.basis_count);
    std::vector<double> m(atoms * atoms, 0.0);
    for (std::size_t nu = 0; nu < n; ++nu)
        for (std::size_t mu = 0; mu < n; ++mu) {
            const std::size_t a = static_cast<std::size_t>(b.basis_atom[mu] - 1);
            const std::size_t c = static_cast<std::size_t>(b.basis_atom[nu] - 1);
            if (a != c) m[c * atoms + a] += f(mu, nu);
        }
    return m;
}

char symbol_letter(const Checkpoint& c, std::size_t atom) {
    const ElementData* e = element_of(c.atomic_number[atom]);
    return e == nullptr ? '?' : e->letter;
}

// Fixed decimals, without the sign of a value that rounds to zero ("-0.0000").
std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    const std::string text = buf;
    return text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos ? text.substr(1) : text;
}

}  // namespace

Analysis population_analysis(const Checkpoint& c, const Orbitals& o) {
    return population_analysis(c, o, open_lapack_library());
}

Analysis population_analysis(const Checkpoint& c, const Orbitals& o, void* library) {
    const Lapack l = lapack(library);
    const Basis& b = o.basis;
    const int n = b.basis_count;
    const std::size_t un = static_cast<std::size_t>(n), atoms = static_cast<std::size_t>(c.atom_count);
    Analysis a;
    if (n == 0) return a;

    // P = 2 C_occ C_occ^T; PS; S^(1/2) P S^(1/2); S C.
    const int occ = c.occupied_count;
    std::vector<double> p(un * un, 0.0);
    if (occ > 0) {
        const char nt = 'N', tt = 'T';
        const double two = 2.0, zero = 0.0;
        l.dgemm(&nt, &tt, &n, &n, &occ, &two, o.coef.data(), &n, o.coef.data(), &n, &zero, p.data(), &n, 1, 1);
    }
    const std::vector<double> ps = product(l, p, 'N', b.s, 'N', n);
    const std::vector<double> half = square_root(l, b.s, n);
    const std::vector<double> lowdin = product(l, product(l, half, 'N', p, 'N', n), 'N', half, 'N', n);
    const std::vector<double> sc = product(l, b.s, 'N', o.coef, 'N', n);

    a.mulliken_populations.assign(atoms, 0.0);
    std::vector<double> lowdin_populations(atoms, 0.0);
    for (std::size_t mu = 0; mu < un; ++mu) {
        const std::size_t atom = static_cast<std::size_t>(b.basis_atom[mu] - 1);
        a.mulliken_populations[atom] += ps[mu * un + mu];
        lowdin_populations[atom] += lowdin[mu * un + mu];
    }
    for (std::size_t i = 0; i < atoms; ++i) {
        const ElementData* e = element_of(c.atomic_number[i]);
        const double z = e == nullptr ? 0.0 : e->valence;
        a.mulliken_charges.push_back(z - a.mulliken_populations[i]);
        a.lowdin_charges.push_back(z - lowdin_populations[i]);
    }

    a.mayer = atom_blocks(b, atoms, [&](std::size_t mu, std::size_t nu) { return ps[nu * un + mu] * ps[mu * un + nu]; });
    a.wiberg_lowdin = atom_blocks(b, atoms, [&](std::size_t mu, std::size_t nu) {
        const double v = lowdin[nu * un + mu];
        return v * v;
    });
    a.overlap_population =
        atom_blocks(b, atoms, [&](std::size_t mu, std::size_t nu) { return 2.0 * p[nu * un + mu] * b.s[nu * un + mu]; });
    a.atomic_valences.assign(atoms, 0.0);
    for (std::size_t j = 0; j < atoms; ++j)
        for (std::size_t i = 0; i < atoms; ++i) a.atomic_valences[i] += a.mayer[j * atoms + i];

    // Orbital k's share on function mu: c_mu,k (S c_k)_mu, which sums to c_k^T S c_k = 1.
    a.composition.assign(atoms * un, 0.0);
    a.composition_s.assign(atoms * un, 0.0);
    a.composition_p.assign(atoms * un, 0.0);
    for (std::size_t k = 0; k < un; ++k)
        for (std::size_t mu = 0; mu < un; ++mu) {
            const std::size_t at = k * atoms + static_cast<std::size_t>(b.basis_atom[mu] - 1);
            const double share = 100.0 * o.coef[k * un + mu] * sc[k * un + mu];
            a.composition[at] += share;
            (b.g[6 * mu][0] == 's' ? a.composition_s : a.composition_p)[at] += share;
        }
    return a;
}

std::vector<AtomPair> pairs_above(const std::vector<double>& m, std::int32_t atom_count, double threshold) {
    std::vector<AtomPair> pairs;
    const std::size_t atoms = static_cast<std::size_t>(atom_count);
    for (std::size_t i = 0; i < atoms; ++i)
        for (std::size_t j = i + 1; j < atoms; ++j)
            if (std::fabs(m[j * atoms + i]) > threshold)
                pairs.push_back({static_cast<std::int32_t>(i + 1), static_cast<std::int32_t>(j + 1), m[j * atoms + i]});
    return pairs;
}

std::string analysis_text(const Checkpoint& c, const Analysis& a) {
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    std::string t;
    t += "Population analysis of " + (c.title.empty() ? std::string("the run") : c.title) + "\n";
    t += "From the orbitals normalised against the overlap S (c^T S c = 1), P = 2 sum over occupied c c^T,\n"
         "and S rebuilt from the checkpoint's shells. Charges in units of e (valence charges: valence\n"
         "electrons minus the atom's population); bond orders and populations in electrons.\n"
         "  Mulliken charge     q_A = Z_A - sum_{mu in A} (PS)_mu,mu\n"
         "  Loewdin charge      q_A = Z_A - sum_{mu in A} (S^1/2 P S^1/2)_mu,mu\n"
         "  Mayer bond order    B_AB = sum_{mu in A} sum_{nu in B} (PS)_mu,nu (PS)_nu,mu\n"
         "  Wiberg (Loewdin)    W_AB = sum_{mu in A} sum_{nu in B} (S^1/2 P S^1/2)_mu,nu^2\n"
         "  Mayer valence       V_A = sum_{B != A} B_AB\n"
         "  overlap population  n_AB = sum_{mu in A} sum_{nu in B} 2 P_mu,nu S_mu,nu\n"
         "  composition         orbital k's share on atom A: 100 sum_{mu in A} c_mu,k (S c_k)_mu, percent\n"
         "FOR006's charges and bond orders are another quantity: from orbitals of unit Euclidean length,\n"
         "without the overlap.\n\n";
    t += "atom  element  Mulliken    Loewdin  population    valence\n";
    double sum_m = 0.0, sum_l = 0.0;
    for (std::size_t i = 0; i < atoms; ++i) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%4zu  %-7c %9s  %9s  %10s  %9s\n", i + 1, symbol_letter(c, i),
                      fixed(a.mulliken_charges[i], 4).c_str(), fixed(a.lowdin_charges[i], 4).c_str(),
                      fixed(a.mulliken_populations[i], 4).c_str(), fixed(a.atomic_valences[i], 4).c_str());
        t += buf;
        sum_m += a.mulliken_charges[i];
        sum_l += a.lowdin_charges[i];
    }
    t += "total          " + fixed(sum_m, 4) + "     " + fixed(sum_l, 4) + "\n\n";
    t += "Atom pairs (Mayer order or overlap population above 0.01 in magnitude)\n";
    t += "   i    j  pair      Mayer  Wiberg(L)  overlap pop.\n";
    for (std::size_t i = 0; i < atoms; ++i)
        for (std::size_t j = i + 1; j < atoms; ++j) {
            const std::size_t ij = j * atoms + i;
            if (std::fabs(a.mayer[ij]) <= 0.01 && std::fabs(a.overlap_population[ij]) <= 0.01) continue;
            char buf[160];
            const std::string pair = std::string(1, symbol_letter(c, i)) + std::to_string(i + 1) + "-" +
                                     std::string(1, symbol_letter(c, j)) + std::to_string(j + 1);
            std::snprintf(buf, sizeof buf, "%4zu %4zu  %-8s %7s  %9s  %12s\n", i + 1, j + 1, pair.c_str(),
                          fixed(a.mayer[ij], 4).c_str(), fixed(a.wiberg_lowdin[ij], 4).c_str(),
                          fixed(a.overlap_population[ij], 4).c_str());
            t += buf;
        }
    t += "\nOrbital composition (percent of each orbital on each atom, s + p; energies in eV)\n";
    for (std::size_t k = 0; k < n; ++k) {
        char head[96];
        const double ev = orbital_ev(c, k);
        const std::int32_t occ = c.occupied_count;
        const char* mark = static_cast<std::int32_t>(k + 1) == occ ? " HOMO" : static_cast<std::int32_t>(k) == occ ? " LUMO" : "";
        std::snprintf(head, sizeof head, "orbital %zu  %s eV  occupation %d%s:", k + 1, fixed(ev, 4).c_str(),
                      static_cast<std::int32_t>(k) < occ ? 2 : 0, mark);
        t += head;
        for (std::size_t i = 0; i < atoms; ++i) {
            const double share = a.composition[k * atoms + i];
            if (std::fabs(share) < 0.5) continue;
            char buf[96];
            std::snprintf(buf, sizeof buf, "  %c%zu %s%% (s %s, p %s)", symbol_letter(c, i), i + 1, fixed(share, 1).c_str(),
                          fixed(a.composition_s[k * atoms + i], 1).c_str(), fixed(a.composition_p[k * atoms + i], 1).c_str());
            t += buf;
        }
        t += "\n";
    }
    return t;
}

std::vector<std::string> analysis_csv(const Checkpoint& c, const Analysis& a) {
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    auto g = [](double v) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.10g", v);
        return std::string(buf);
    };
    std::string charges = "atom,element,mulliken_charge,lowdin_charge,mulliken_population,mayer_valence\n";
    for (std::size_t i = 0; i < atoms; ++i)
        charges += std::to_string(i + 1) + "," + symbol_letter(c, i) + "," + g(a.mulliken_charges[i]) + "," +
                   g(a.lowdin_charges[i]) + "," + g(a.mulliken_populations[i]) + "," + g(a.atomic_valences[i]) + "\n";
    std::string bonds = "atom_i,atom_j,mayer_bond_order,wiberg_lowdin_bond_order,overlap_population\n";
    for (std::size_t i = 0; i < atoms; ++i)
        for (std::size_t j = i + 1; j < atoms; ++j) {
            const std::size_t ij = j * atoms + i;
            bonds += std::to_string(i + 1) + "," + std::to_string(j + 1) + "," + g(a.mayer[ij]) + "," +
                     g(a.wiberg_lowdin[ij]) + "," + g(a.overlap_population[ij]) + "\n";
        }
    std::string comp = "orbital,energy_ev,occupation,atom,element,percent,percent_s,percent_p\n";
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t i = 0; i < atoms; ++i) {
            const std::size_t at = k * atoms + i;
            comp += std::to_string(k + 1) + "," + g(orbital_ev(c, k)) + "," +
                    (static_cast<std::int32_t>(k) < c.occupied_count ? "2" : "0") + "," + std::to_string(i + 1) + "," +
                    symbol_letter(c, i) + "," + g(a.composition[at]) + "," + g(a.composition_s[at]) + "," +
                    g(a.composition_p[at]) + "\n";
        }
    return {charges, bonds, comp};
}

}  // namespace zephor::exporter
