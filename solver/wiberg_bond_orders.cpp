// Bond orders column by column of atom_pop: each thread sums one atom's column from the density
// columns of its functions, read top to bottom, so the terms of each element arrive in the plain
// loop's order.
#include "solver/wiberg_bond_orders.hpp"

#include <omp.h>

#include <algorithm>

#include "common/thread_fp_flags.hpp"

namespace zephor {

void wiberg_bond_orders(const std::vector<double>& dens, std::int32_t n,
                        const std::vector<std::int32_t>& basis_atom, std::int32_t atom_count,
                        std::vector<double>& atom_pop) {
    const std::size_t un = static_cast<std::size_t>(n);
    const std::size_t m = static_cast<std::size_t>(atom_count);
    auto atom = [&](std::size_t i) { return static_cast<std::size_t>(basis_atom[i] - 1); };

    // Functions of each atom, ascending.
    std::vector<std::size_t> start(m + 1, 0);
    for (std::size_t i = 0; i < un; ++i) ++start[atom(i) + 1];
    for (std::size_t a = 0; a < m; ++a) start[a + 1] += start[a];
    std::vector<std::size_t> funcs(un);
    {
        std::vector<std::size_t> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < un; ++i) funcs[fill[atom(i)]++] = i;
    }

    // Column b of atom_pop from the columns of b's functions, read top to bottom: for each row
    // atom a the terms arrive with i ascending and, for each i, j ascending, as in the plain loop.
    const long long atoms_ll = static_cast<long long>(m);
    std::vector<std::vector<double>> accs(static_cast<std::size_t>(omp_get_max_threads()),
                                          std::vector<double>(m));
    FpFlagsCollector flags;
#pragma omp parallel if (static_cast<long long>(un) >= threads_from_basis_count)
    {
        flags.enter();
        std::vector<double>& acc = accs[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for schedule(dynamic, 4)
        for (long long bl = 0; bl < atoms_ll; ++bl) {
            const std::size_t b = static_cast<std::size_t>(bl);
            const std::size_t f0 = start[b];
            const std::size_t f1 = start[b + 1];
            if (f0 == f1) continue;
            std::fill(acc.begin(), acc.end(), 0.0);
            for (std::size_t i = 0; i < un; ++i) {
                const std::size_t a = atom(i);
                if (a == b) continue;
                double sum = acc[a];
                for (std::size_t f = f0; f < f1; ++f) {
                    const double dij = dens[i + funcs[f] * un];
                    sum += dij * dij;
                }
                acc[a] = sum;
            }
            for (std::size_t a = 0; a < m; ++a)
                if (a != b) atom_pop[a + b * m] = acc[a];
        }
        flags.leave();
    }
}
}  // namespace zephor
