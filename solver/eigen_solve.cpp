// dsygv driver. OpenBLAS changes the last bits, and even eigenvector signs, with its thread
// count and with the processor kernel it picks; the library is therefore pinned to one thread and
// to one kernel, so that an input gives the same bytes on every machine. The program shares out
// only work whose bits do not depend on how it is shared (deferred_rotations, split_level3).
#include "solver/eigen_solve.hpp"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <dlfcn.h>
#include <omp.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>

#include "common/elements.hpp"
#include "common/errors.hpp"
#include "common/thread_fp_flags.hpp"
#include "solver/deferred_rotations.hpp"
#include "solver/split_level3.hpp"
#include "solver/work_team.hpp"

namespace {

using dsygv_fn = void(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
                      const int* lda, double* b, const int* ldb, double* w, double* work,
                      const int* lwork, int* info, std::size_t jobz_len, std::size_t uplo_len);
using set_threads_fn = void(int);

// A library that cannot be loaded: a refused resource (address space, descriptors) is the memory
// report, anything else (a broken installation) a two-line report naming the library.
[[noreturn]] void refuse_load(const std::string& what) {
    // The loader says what failed in words only; errno is not kept.
    static const int refusals[] = {ENOMEM, EMFILE, ENFILE, EAGAIN};
    for (const int e : refusals)
        if (what.find(std::strerror(e)) != std::string::npos) throw zephor::MemoryRefused(std::strerror(e));
    if (what.find("failed to map segment") != std::string::npos) throw zephor::MemoryRefused();
    throw zephor::ReportError("Error loading LAPACK (file = '" ZEPHOR_LAPACK_LIBRARY "')", what);
}

// OpenBLAS picks its kernel and thread count when it is loaded, from its environment, and the
// kernel it would pick depends on the processor. The library is therefore loaded here, on first
// use, after telling it to run one thread with the plain SSE3 kernel of every x86-64 processor.
dsygv_fn* load_dsygv() {
    setenv("OPENBLAS_CORETYPE", "Prescott", 1);
    setenv("OPENBLAS_NUM_THREADS", "1", 1);
    void* lib = dlopen(ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) refuse_load(dlerror());
    auto* dsygv = reinterpret_cast<dsygv_fn*>(dlsym(lib, "dsygv_"));
    if (dsygv == nullptr) refuse_load("the library has no dsygv_");
    zephor::install_rotation_kernel(lib);
    zephor::install_level3_split(lib);
    // Present in OpenBLAS only; a reference LAPACK has no threads to pin.
    if (auto* set_threads = reinterpret_cast<set_threads_fn*>(dlsym(lib, "openblas_set_num_threads")))
        set_threads(1);
    return dsygv;  // the library stays loaded for the life of the process
}

// OpenBLAS takes one work buffer of 128 MiB (its BUFFER_SIZE on x86-64, plus a page) at the first
// level-3 call inside dsygv, and when the system refuses it the library retries forever. So the
// address space for it is asked for here first, and a refusal is the memory report. Once the
// library holds its buffer it keeps it, and the probe only finds room that is already there.
constexpr std::size_t library_buffer_bytes = (std::size_t(128) << 20) + (std::size_t(1) << 20);

bool address_space_for(std::size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return false;
    munmap(p, bytes);
    return true;
}

// A split level-3 call runs its blocks at once, and every thread running one takes a buffer of
// its own: as many blocks run at once as there is room for buffers (one: every call whole, the
// same bits).
void make_sure_library_buffers_fit() {
    if (!address_space_for(library_buffer_bytes)) throw zephor::MemoryRefused(std::strerror(errno));
    int room = zephor::level3_max_concurrent;
    while (room > 1 && !address_space_for(static_cast<std::size_t>(room) * library_buffer_bytes)) --room;
    zephor::allow_level3_split(room);
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
    // The solver's threads (their stacks) first, so that the room found next is what is left.
    if (n >= threads_from_basis_count) zephor::prepare_team(omp_get_max_threads());
    make_sure_library_buffers_fit();
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
    return static_cast<std::int32_t>(doubly_occupied(electron_count));
}

double total_energy(const std::vector<double>& orbital_energy, std::int32_t occupied_count) {
    double sum = 0.0;
    for (std::int32_t k = 0; k < occupied_count; ++k)
        sum += 2.0 * orbital_energy[static_cast<std::size_t>(k)];
    return sum;
}

}  // namespace zephor
