// dsygv driver. OpenBLAS changes the last bits, and even eigenvector signs, with its thread
// count and with the processor kernel it picks; the solve is therefore pinned to one thread and
// to one kernel, so that an input gives the same bytes on every machine.
#include "solver/eigen_solve.hpp"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <dlfcn.h>

#include "common/thread_fp_flags.hpp"

namespace {

using dsygv_fn = void(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
                      const int* lda, double* b, const int* ldb, double* w, double* work,
                      const int* lwork, int* info, std::size_t jobz_len, std::size_t uplo_len);
using set_threads_fn = void(int);

// OpenBLAS picks its kernel and thread count when it is loaded, from its environment, and the
// kernel it would pick depends on the processor. The library is therefore loaded here, on first
// use, after telling it to run one thread with the plain SSE3 kernel of every x86-64 processor.
dsygv_fn* load_dsygv() {
    setenv("OPENBLAS_CORETYPE", "Prescott", 1);
    setenv("OPENBLAS_NUM_THREADS", "1", 1);
    void* lib = dlopen(ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) throw std::runtime_error(std::string("cannot load LAPACK: ") + dlerror());
    auto* dsygv = reinterpret_cast<dsygv_fn*>(dlsym(lib, "dsygv_"));
    if (dsygv == nullptr) throw std::runtime_error("LAPACK has no dsygv_: " ZEPHOR_LAPACK_LIBRARY);
    // Present in OpenBLAS only; a reference LAPACK has no threads to pin.
    if (auto* set_threads = reinterpret_cast<set_threads_fn*>(dlsym(lib, "openblas_set_num_threads")))
        set_threads(1);
    return dsygv;  // the library stays loaded for the life of the process
}

dsygv_fn* dsygv() {
    static dsygv_fn* const fn = load_dsygv();
    return fn;
}

}  // namespace

namespace zephor {

int dsygv_in_place(std::vector<double>& a, std::vector<double>& b, std::int32_t n,
                   std::vector<double>& orbital_energy) {
    if (n <= 0) return -1;  // LAPACK would reject a leading dimension of 0
    dsygv_fn* const dsygv_ = dsygv();
    orbital_energy.resize(static_cast<std::size_t>(n));

    const int itype = 1;
    int info = 0;
    int lwork = -1;
    double query = 0.0;
    dsygv_(&itype, "V", "L", &n, a.data(), &n, b.data(), &n, orbital_energy.data(), &query,
           &lwork, &info, 1, 1);
    if (info != 0) return info;
    lwork = static_cast<int>(query);  // truncation toward zero

    // OpenBLAS's symmetric matrix-vector kernel reads up to four doubles past the workspace it
    // is given; the padding keeps that read inside our allocation. LAPACK still sees lwork.
    std::vector<double> work(static_cast<std::size_t>(lwork) + 4);
    dsygv_(&itype, "V", "L", &n, a.data(), &n, b.data(), &n, orbital_energy.data(), work.data(),
           &lwork, &info, 1, 1);
    return info;
}

void unit_length_columns(std::vector<double>& mo_coef, std::int32_t n) {
    // dsygv normalises c^T s c = 1; the program's orbitals have unit Euclidean length instead.
    // Columns are independent, each summed in ascending i on one thread.
    const std::size_t un = static_cast<std::size_t>(n);
    const long long cols = n > 0 ? n : 0;
    FpFlagsCollector flags;
#pragma omp parallel if (cols >= threads_from_basis_count)
    {
        flags.enter();
#pragma omp for schedule(static)
        for (long long kk = 0; kk < cols; ++kk) {
            double* c = &mo_coef[static_cast<std::size_t>(kk) * un];
            double sum = 0.0;
            for (std::size_t i = 0; i < un; ++i) sum += c[i] * c[i];
            const double len = std::pow(sum, 0.5);
            for (std::size_t i = 0; i < un; ++i) c[i] /= len;
        }
        flags.leave();
    }
}

int solve_eigenproblem(const std::vector<double>& ham, const std::vector<double>& s,
                       std::int32_t n, std::vector<double>& orbital_energy,
                       std::vector<double>& mo_coef) {
    if (n <= 0) return -1;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    mo_coef.assign(ham.begin(), ham.begin() + static_cast<std::ptrdiff_t>(nn));
    std::vector<double> s_work(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(nn));
    return solve_eigenproblem_in_place(mo_coef, s_work, n, orbital_energy);
}

int solve_eigenproblem_in_place(std::vector<double>& ham_to_mo_coef, std::vector<double>& s,
                                std::int32_t n, std::vector<double>& orbital_energy) {
    const int info = dsygv_in_place(ham_to_mo_coef, s, n, orbital_energy);
    if (info == 0) unit_length_columns(ham_to_mo_coef, n);
    return info;
}

std::int32_t occupied_orbitals(std::int32_t electron_count) {
    return electron_count > 0 ? electron_count / 2 : 0;
}

double total_energy(const std::vector<double>& orbital_energy, std::int32_t occupied_count) {
    double sum = 0.0;
    for (std::int32_t k = 0; k < occupied_count; ++k)
        sum += 2.0 * orbital_energy[static_cast<std::size_t>(k)];
    return sum;
}

}  // namespace zephor
