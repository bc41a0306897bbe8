// Scaling benchmark: builds molecules of growing size (alkane chain, hydrocarbon flake, N/O-rich
// chain), runs the program on each and prints, per phase, where the time goes.
//
// For every molecule two processes run in fresh directories: this program re-executed in its
// --phases mode, which runs the driver in-process and reports the end of each phase; and the real
// zephor binary, timed as a whole with its peak resident memory (wait4). Both must write the same
// FOR006 and FOR007. Then, at about 1000 basis functions, the assembly and the density are timed
// against their plain evaluations, and a water run against a process that only loads LAPACK.
//
//   zephor_bench [--threads T] [--min-basis N] [--max-basis N] [--family F] [--repeat R]
//                [--tsv FILE] [--solve-only] [--concurrent-only] [--products-only] [--binary FILE]
// (--binary: the zephor the two-at-once table runs, for comparing releases.)
#include <dlfcn.h>
#include <omp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/molecules.hpp"
#include "driver/molecule.hpp"
#include "driver/run.hpp"
#include "integrals/s_h_matrix.hpp"
#include "integrals/s_h_matrix_reference.hpp"
#include "solver/eigen_solve.hpp"
#include "solver/deferred_rotations.hpp"
#include "solver/split_level3.hpp"
#include "solver/pinned_gemm.hpp"
#include "solver/work_team.hpp"
#include "solver/density_matrix.hpp"
#include "solver/population_reference.hpp"
#include "test_support.hpp"

using zephor_test::read_file;
using zephor_test::write_file;

namespace fs = std::filesystem;
namespace zb = zephor_bench;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct ProcessResult {
    int status = -1;
    double wall = 0.0;     // s
    long peak_kib = 0;     // resident set, KiB
    double cpu = 0.0;      // user and system time of the process and its threads (s)
    std::string out;       // standard output
};

// Runs `argv` in `dir` with OMP_NUM_THREADS=threads; standard output is captured.
ProcessResult run_process(const std::vector<std::string>& argv, const fs::path& dir, int threads) {
    int pipefd[2];
    if (pipe(pipefd) != 0) std::abort();
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipefd[0]);
        dup2(pipefd[1], 1);
        close(pipefd[1]);
        if (chdir(dir.c_str()) != 0) _exit(127);
        setenv("OMP_NUM_THREADS", std::to_string(threads).c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipefd[1]);
    ProcessResult r;
    char buf[4096];
    ssize_t got;
    while ((got = read(pipefd[0], buf, sizeof buf)) > 0) r.out.append(buf, static_cast<std::size_t>(got));
    close(pipefd[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.wall = seconds_since(t0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peak_kib = usage.ru_maxrss;
    r.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return r;
}

// --lapack-only: what every run pays before any work: start, load LAPACK, a 1 x 1 solve.
int lapack_only_mode() {
    std::vector<double> a{2.0}, b{1.0}, w;
    return zephor::dsygv_in_place(a, b, 1, w) == 0 ? 0 : 1;
}

// --phases: the driver in this process, in the current directory. LAPACK is loaded first (the
// program loads it at its first solve), so that the solve phase is dsygv alone; prints the
// loading time and the five phase times.
int phases_mode() {
    const auto t_load = Clock::now();
    if (lapack_only_mode() != 0) return 1;
    std::printf("%.6f\n", seconds_since(t_load));
    std::vector<double> t;
    const auto t0 = Clock::now();
    zephor::run([&](zephor::Phase) { t.push_back(seconds_since(t0)); });
    for (std::size_t i = 0; i < t.size(); ++i) std::printf("%.6f\n", t[i] - (i ? t[i - 1] : 0.0));
    return 0;
}

struct Row {
    std::string family;
    int atoms = 0;
    int basis = 0;
    double load = 0.0;     // LAPACK loaded (s)
    double phase[5] = {};  // input, assembly, solve (dsygv), analysis, output (s)
    double total = 0.0;    // the whole process that measured the phases, start to exit (s)
    double process = 0.0;  // whole run of the real binary (s)
    long peak_kib = 0;     // the real binary's
    bool same_output = false;
};

// The phase run is repeated `repeat` times and the fastest whole process kept: other work on a
// shared machine only ever adds time.
Row measure(const std::string& self, const std::string& family, const std::vector<zb::Atom>& atoms,
            int threads, int repeat) {
    Row row;
    row.family = family;
    row.atoms = static_cast<int>(atoms.size());
    row.basis = zb::basis_count(atoms);
    const std::string input = zb::for005(atoms);

    zephor_test::TempDir a;
    ProcessResult ph;
    for (int rep = 0; rep < repeat; ++rep) {
        fs::remove(a / "FOR006");
        fs::remove(a / "FOR007");
        write_file(a / "FOR005", input);
        const ProcessResult r = run_process({self, "--phases"}, a.path(), threads);
        if (rep > 0 && r.wall >= row.total) continue;
        ph = r;
        row.total = r.wall;
        std::istringstream lines(r.out);
        lines >> row.load;
        for (double& p : row.phase) lines >> p;
    }

    zephor_test::TempDir b;
    write_file(b / "FOR005", input);
    const ProcessResult whole = run_process({ZEPHOR_BINARY}, b.path(), threads);
    row.process = whole.wall;
    row.peak_kib = whole.peak_kib;
    row.same_output = ph.status == 0 && whole.status == 0 &&
                      fs::exists(b / "FOR007") &&
                      read_file(a / "FOR006") == read_file(b / "FOR006") &&
                      read_file(a / "FOR007") == read_file(b / "FOR007");
    return row;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Best of `reps` timings of f.
double best_of(int reps, const std::function<void()>& f) {
    double best = 1e300;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, seconds_since(t0));
    }
    return best;
}

void compare_plain(const std::string& family, const std::vector<zb::Atom>& atoms) {
    const zephor::Molecule m = zephor::load_molecule(zb::for005(atoms));
    const std::size_t n = static_cast<std::size_t>(m.basis_count);
    std::vector<double> s(n * n), ham = m.basis.ham, norm(n);
    auto assemble = [&](bool reference) {
        if (reference)
            zephor::s_h_matrix_reference(s, ham, zephor::basis_view(m), norm);
        else
            zephor::s_h_matrix(s, ham, zephor::basis_view(m), norm);
    };
    omp_set_num_threads(1);
    const double plain = best_of(1, [&] { assemble(true); });
    const double fast1 = best_of(3, [&] { assemble(false); });
    omp_set_num_threads(2);
    const double fast2 = best_of(3, [&] { assemble(false); });

    // The density on unit-length columns of the solve.
    std::vector<double> c = ham, energy, dens;
    zephor::dsygv_in_place(c, s, m.basis_count, energy);
    zephor::unit_length_columns(c, m.basis_count);
    const std::int32_t occ = zephor::occupied_orbitals(m.electron_count);
    omp_set_num_threads(1);
    const double dplain = best_of(1, [&] { zephor::density_matrix_reference(c, m.basis_count, occ, dens); });
    const double dfast1 = best_of(3, [&] { zephor::density_matrix(c, m.basis_count, occ, dens); });
    omp_set_num_threads(2);
    const double dfast2 = best_of(3, [&] { zephor::density_matrix(c, m.basis_count, occ, dens); });

    std::printf("| %s | %zu | %.3f | %.4f | %.1f× | %.4f | %.1f× | %.3f | %.4f | %.1f× | %.4f | %.1f× |\n",
                family.c_str(), n, plain, fast1, plain / fast1, fast2, plain / fast2, dplain, dfast1,
                dplain / dfast1, dfast2, dplain / dfast2);
}

// A second instance of the library in a namespace of its own, with the kernel it picks for this
// processor and 2 threads of its own: the reference for dsygvd, the divide-and-conquer solver
// the program cannot use (other bits). Its calls stay inside its namespace, away from the
// routines this program exports.
using dsygvd_fn = void(const int*, const char*, const char*, const int*, double*, const int*, double*, const int*,
                       double*, double*, const int*, int*, const int*, int*, std::size_t, std::size_t);

struct Reference {
    dsygvd_fn* dsygvd = nullptr;
    std::string kernel;
};

const Reference& reference_library() {
    static const Reference ref = [] {
        Reference r;
        std::vector<double> a{2.0}, b{1.0}, w;
        zephor::dsygv_in_place(a, b, 1, w);  // the pinned instance first, with its own settings
        const std::string saved_core = std::getenv("OPENBLAS_CORETYPE") ? std::getenv("OPENBLAS_CORETYPE") : "";
        const std::string saved_threads =
            std::getenv("OPENBLAS_NUM_THREADS") ? std::getenv("OPENBLAS_NUM_THREADS") : "";
        unsetenv("OPENBLAS_CORETYPE");
        setenv("OPENBLAS_NUM_THREADS", "2", 1);
        void* lib = dlmopen(LM_ID_NEWLM, ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        setenv("OPENBLAS_CORETYPE", saved_core.c_str(), 1);
        setenv("OPENBLAS_NUM_THREADS", saved_threads.c_str(), 1);
        if (lib == nullptr) return r;
        r.dsygvd = reinterpret_cast<dsygvd_fn*>(dlsym(lib, "dsygvd_"));
        if (auto* core = reinterpret_cast<const char* (*)()>(dlsym(lib, "openblas_get_corename"))) r.kernel = core();
        return r;
    }();
    return ref;
}

// dsygvd on the reference instance (eigenvalues and vectors, lower triangle), seconds.
double reference_dsygvd(const std::vector<double>& ham, const std::vector<double>& s, int n) {
    const Reference& ref = reference_library();
    if (ref.dsygvd == nullptr) return 0.0;
    std::vector<double> a = ham, b = s, w(static_cast<std::size_t>(n));
    const int itype = 1;
    int lwork = -1, liwork = -1, info = 0, iquery = 0;
    double query = 0.0;
    ref.dsygvd(&itype, "V", "L", &n, a.data(), &n, b.data(), &n, w.data(), &query, &lwork, &iquery, &liwork, &info,
               1, 1);
    lwork = static_cast<int>(query);
    liwork = iquery;
    std::vector<double> work(static_cast<std::size_t>(lwork));
    std::vector<int> iwork(static_cast<std::size_t>(liwork));
    const auto t0 = Clock::now();
    ref.dsygvd(&itype, "V", "L", &n, a.data(), &n, b.data(), &n, w.data(), work.data(), &lwork, iwork.data(),
               &liwork, &info, 1, 1);
    return info == 0 ? seconds_since(t0) : 0.0;
}

// The library's own dsygv (every rotation through its dlasr, every product and solve whole)
// against the program's solve (the fused rotation kernel, the split products and solves, the
// products at full vector width) on the same matrices, in this process, with 1 and 2 threads,
// and on 2 threads with the products left to the library's kernel; the pinned library itself
// always runs on one thread. Then the reference dsygvd. 'same' compares all the bits of every
// program solve with the library's dsygv.
void compare_solve(const std::string& family, const std::vector<zb::Atom>& atoms, int repeat) {
    zephor::Molecule m = zephor::load_molecule(zb::for005(atoms));
    const std::size_t n = static_cast<std::size_t>(m.basis_count);
    std::vector<double> s(n * n);
    zephor::s_h_matrix(s, m.basis.ham, zephor::basis_view(m), m.norm);
    std::vector<double> c_lib, c_fast, e_lib, e_fast;
    auto solve = [&](std::vector<double>& c, std::vector<double>& energy) {
        c = m.basis.ham;
        std::vector<double> b = s;
        zephor::dsygv_in_place(c, b, m.basis_count, energy);
    };
    zephor::set_rotation_deferral(false);
    zephor::set_level3_split(false);
    const double library = best_of(repeat, [&] { solve(c_lib, e_lib); });
    zephor::set_rotation_deferral(true);
    zephor::set_level3_split(true);
    bool same = true;
    auto timed = [&](int threads, int width) {
        omp_set_num_threads(threads);
        zephor::set_pinned_gemm_width(width);
        const double t = best_of(repeat, [&] { solve(c_fast, e_fast); });
        same = same && zephor_test::same_bits(c_fast, c_lib) && zephor_test::same_bits(e_fast, e_lib);
        zephor::set_pinned_gemm_width(8);
        return t;
    };
    const double fast1 = timed(1, 8);
    const double fast2 = timed(2, 8);
    const double narrow2 = timed(2, 0);
    double dsygvd = 1e300;
    for (int r = 0; r < repeat; ++r) dsygvd = std::min(dsygvd, reference_dsygvd(m.basis.ham, s, m.basis_count));
    std::printf("| %s | %zu | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f× | %.2f× | %s |\n", family.c_str(), n, library,
                fast1, fast2, narrow2, dsygvd, library / fast2, fast2 / dsygvd, same ? "yes" : "NO");
    std::fflush(stdout);
}

void solve_table(int min_basis, int max_basis, int repeat) {
    omp_set_num_threads(2);
    zephor::prepare_team(2);
    std::printf("\nThe solve (dsygv on the same matrices), seconds: the library's own; the program's (rotation\n"
                "kernel, split products and solves, products at width %d) on 1 and 2 threads, and on 2 with\n"
                "the products left to the pinned kernel (width 0); the library's dsygvd with its %s kernel\n"
                "on 2 threads (other bits). 'gain' is library / program on 2 threads:\n\n",
                zephor::pinned_gemm_width(), reference_library().kernel.c_str());
    std::printf("| family | basis | library dsygv | program, 1 thread | program, 2 threads | 2 threads, width 0 | "
                "dsygvd, 2 threads | gain | program / dsygvd | same |\n");
    std::printf("|---|--:|--:|--:|--:|--:|--:|--:|--:|---|\n");
    for (int shells : {6, 9, 11, 13}) {
        const std::vector<zb::Atom> atoms = zb::flake(shells);
        const int basis = zb::basis_count(atoms);
        if (basis >= min_basis && basis <= max_basis) compare_solve("flake", atoms, repeat);
    }
    for (int carbons : {333, 500, 667}) {
        const std::vector<zb::Atom> atoms = zb::alkane(carbons);
        const int basis = zb::basis_count(atoms);
        if (basis >= min_basis && basis <= max_basis) compare_solve("alkane", atoms, repeat);
    }
}

// The products alone: the library's one-thread dgemm on the pinned kernel against pinned_gemm at
// the widest width, alternating, medians of 7 of wall and of the thread's CPU time (firmer on a
// shared machine). The shapes of the solve at 2000 functions: W = C^T V and C -= V W^T of the
// reflector blocks, a rectangle of the split rank-2k update; last, a shape with few rows of C.
double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

void products_table() {
    std::vector<double> one_a{2.0}, one_b{1.0}, one_w;
    zephor::dsygv_in_place(one_a, one_b, 1, one_w);
    void* lib = dlopen(ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    auto* const library = lib ? reinterpret_cast<zephor::gemm_routine*>(dlsym(lib, "dgemm_")) : nullptr;
    if (library == nullptr) return;
    const int widest = zephor::pinned_gemm_width();
    std::printf("\nProducts alone, one thread, medians of 7 (ms): the library's dgemm on the pinned kernel, and\n"
                "the same bits at width 4%s; wall and the thread's CPU time:\n\n", widest == 8 ? " and 8" : "");
    std::printf("| op | m | n | k | library wall | width 4 wall | ratio |%s library CPU | width 4 CPU | ratio |%s\n",
                widest == 8 ? " width 8 wall | ratio |" : "", widest == 8 ? " width 8 CPU | ratio |" : "");
    std::printf("|---|--:|--:|--:|--:|--:|--:|%s--:|--:|--:|%s\n", widest == 8 ? "--:|--:|" : "",
                widest == 8 ? "--:|--:|" : "");
    const struct {
        char ta, tb;
        int m, n, k;
    } shapes[] = {{'T', 'N', 1998, 32, 1966}, {'N', 'T', 1966, 1998, 32}, {'N', 'T', 1500, 250, 64},
                  {'T', 'N', 32, 1998, 1966}};
    for (const auto& sh : shapes) {
        const int lda = sh.ta == 'N' ? sh.m : sh.k, ldb = sh.tb == 'N' ? sh.k : sh.n;
        std::vector<double> a(std::size_t(lda) * (sh.ta == 'N' ? sh.k : sh.m), 0.5);
        std::vector<double> b(std::size_t(ldb) * (sh.tb == 'N' ? sh.n : sh.k), 0.25), c(std::size_t(sh.m) * sh.n, 1.0);
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = std::sin(double(i));
        const double alpha = -1.0, beta = 1.0;
        std::vector<double> wall[3], cpu[3];  // the library, width 4, width 8
        for (int rep = 0; rep < 7; ++rep) {
            for (int w = 0; w < (widest == 8 ? 3 : 2); ++w) {
                const auto t0 = Clock::now();
                const double c0 = thread_cpu_seconds();
                if (w == 0) {
                    library(&sh.ta, &sh.tb, &sh.m, &sh.n, &sh.k, &alpha, a.data(), &lda, b.data(), &ldb, &beta,
                            c.data(), &sh.m, 1, 1);
                } else {
                    zephor::set_pinned_gemm_width(4 * w);
                    zephor::pinned_gemm(library, sh.ta, sh.tb, sh.m, sh.n, sh.k, alpha, a.data(), lda, b.data(), ldb,
                                        beta, c.data(), sh.m);
                }
                wall[w].push_back(seconds_since(t0));
                cpu[w].push_back(thread_cpu_seconds() - c0);
            }
        }
        zephor::set_pinned_gemm_width(widest);
        std::printf("| %c%c | %d | %d | %d | %.1f", sh.ta, sh.tb, sh.m, sh.n, sh.k, 1e3 * median(wall[0]));
        for (int w = 1; w < (widest == 8 ? 3 : 2); ++w)
            std::printf(" | %.1f | %.2f", 1e3 * median(wall[w]), median(wall[w]) / median(wall[0]));
        std::printf(" | %.1f", 1e3 * median(cpu[0]));
        for (int w = 1; w < (widest == 8 ? 3 : 2); ++w)
            std::printf(" | %.1f | %.2f", 1e3 * median(cpu[w]), median(cpu[w]) / median(cpu[0]));
        std::printf(" |\n");
    }
    std::fflush(stdout);
}

// Whole runs of the binary on 2 threads each: one alone, and two started together on this 2-core
// machine (the later end counts), alternating, medians of `repeat` (at least 3). Two runs at once
// should take no longer than two runs one after the other, and a run's CPU time should stay near
// its wall time times the threads that have work (idle threads sleep).
void concurrent_table(int repeat, const std::string& binary) {
    std::printf("\nWhole runs of %s (2 threads each), seconds, medians of %d: alone, its CPU time, and two\n"
                "runs started together (until both end):\n\n", binary.c_str(), std::max(3, repeat));
    std::printf("| family | basis | alone | CPU alone | two at once | two at once / (2 × alone) | same |\n");
    std::printf("|---|--:|--:|--:|--:|--:|---|\n");
    const struct {
        const char* family;
        std::vector<zb::Atom> atoms;
    } molecules[] = {{"flake", zb::flake(9)}, {"alkane", zb::alkane(500)}};
    for (const auto& mol : molecules) {
        const std::string input = zb::for005(mol.atoms);
        zephor_test::TempDir a, b, c;
        for (const auto* d : {&a, &b, &c}) write_file(*d / "FOR005", input);
        std::vector<double> alone, cpu, both;
        bool same = true;
        for (int r = 0; r < std::max(3, repeat); ++r) {
            const ProcessResult one = run_process({binary}, a.path(), 2);
            alone.push_back(one.wall);
            cpu.push_back(one.cpu);
            ProcessResult x, y;
            const auto t0 = Clock::now();
            std::thread tx([&] { x = run_process({binary}, b.path(), 2); });
            std::thread ty([&] { y = run_process({binary}, c.path(), 2); });
            tx.join();
            ty.join();
            both.push_back(seconds_since(t0));
            same = same && one.status == 0 && x.status == 0 && y.status == 0 &&
                   read_file(a / "FOR006") == read_file(b / "FOR006") &&
                   read_file(a / "FOR007") == read_file(c / "FOR007");
        }
        std::printf("| %s | %d | %.2f | %.2f | %.2f | %.2f | %s |\n", mol.family, zb::basis_count(mol.atoms),
                    median(alone), median(cpu), median(both), median(both) / (2.0 * median(alone)),
                    same ? "yes" : "NO");
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int threads = 2;
    int max_basis = 4200;
    int repeat = 1;
    int min_basis = 0;
    std::string only;
    std::string tsv;
    bool solve_only = false;
    bool concurrent_only = false;
    bool products_only = false;
    std::string binary = ZEPHOR_BINARY;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--phases") return phases_mode();
        if (a == "--lapack-only") return lapack_only_mode();
        if (a == "--threads" && i + 1 < argc) threads = std::atoi(argv[++i]);
        else if (a == "--max-basis" && i + 1 < argc) max_basis = std::atoi(argv[++i]);
        else if (a == "--tsv" && i + 1 < argc) tsv = argv[++i];
        else if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--min-basis" && i + 1 < argc) min_basis = std::atoi(argv[++i]);
        else if (a == "--family" && i + 1 < argc) only = argv[++i];
        else if (a == "--solve-only") solve_only = true;
        else if (a == "--concurrent-only") concurrent_only = true;
        else if (a == "--products-only") products_only = true;
        else if (a == "--binary" && i + 1 < argc) binary = argv[++i];
        else {
            std::fprintf(stderr, "usage: zephor_bench [--threads T] [--min-basis N] [--max-basis N] "
                                 "[--family alkane|flake|N/O] [--repeat R] [--tsv FILE] [--solve-only] "
                                 "[--concurrent-only] [--products-only] [--binary FILE]\n");
            return 2;
        }
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    if (solve_only) {
        solve_table(min_basis, max_basis, repeat);
        return 0;
    }
    if (products_only) {
        products_table();
        return 0;
    }
    if (concurrent_only) {
        concurrent_table(repeat, binary);
        return 0;
    }

    // Sizes from about 100 to about 4000 basis functions in each family.
    struct Family {
        std::string name;
        std::function<std::vector<zb::Atom>(int)> build;
        std::vector<int> sizes;
    };
    const std::vector<Family> families{
        {"alkane", zb::alkane, {16, 42, 83, 166, 250, 333, 500, 667}},
        {"flake", zb::flake, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
        {"N/O", zb::no_chain, {4, 11, 22, 43, 65, 87, 130, 174}},
    };

    std::printf("ZEPHOR scaling, %d OpenMP thread(s) for assembly, analysis and output; dsygv on one.\n", threads);
    std::printf("Seconds. Phases measured in one process (best of %d), whose whole wall time, from start to\n"
                "exit, is 'total'; 'solve' is dsygv alone; 'total/solve' is the target ratio (<= 1.10 from\n"
                "1500 functions on). 'binary' is a whole run of the zephor binary, 'peak' its resident\n"
                "maximum, against 4 n^2 doubles. 'same': both wrote the same FOR006 and FOR007.\n\n", repeat);
    std::printf("| family | atoms | basis | input | assembly | solve | analysis | output | total | total/solve | binary | peak MiB | 4n² MiB | same |\n");
    std::printf("|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|\n");
    std::FILE* out = tsv.empty() ? nullptr : std::fopen(tsv.c_str(), "w");
    if (out)
        std::fprintf(out, "family\tatoms\tbasis\tload\tinput\tassembly\tsolve\tanalysis\toutput\ttotal\tbinary\tpeak_mib\n");
    for (const Family& f : families)
        for (int size : f.sizes) {
            const std::vector<zb::Atom> atoms = f.build(size);
            const int basis = zb::basis_count(atoms);
            if (basis > max_basis || basis < min_basis || (!only.empty() && only != f.name)) continue;
            const Row r = measure(self, f.name, atoms, threads, repeat);
            const double four_n2 = 4.0 * r.basis * double(r.basis) * 8.0 / (1024.0 * 1024.0);
            std::printf("| %s | %d | %d | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.2f | %.1f | %.1f | %s |\n",
                        r.family.c_str(), r.atoms, r.basis, r.phase[0], r.phase[1], r.phase[2],
                        r.phase[3], r.phase[4], r.total, r.total / r.phase[2], r.process,
                        r.peak_kib / 1024.0, four_n2, r.same_output ? "yes" : "NO");
            std::fflush(stdout);
            if (out) {
                std::fprintf(out, "%s\t%d\t%d\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.1f\n",
                             r.family.c_str(), r.atoms, r.basis, r.load, r.phase[0], r.phase[1],
                             r.phase[2], r.phase[3], r.phase[4], r.total, r.process, r.peak_kib / 1024.0);
                std::fflush(out);
            }
        }
    if (out) std::fclose(out);

    solve_table(std::max(min_basis, 1000), max_basis, repeat);
    products_table();
    concurrent_table(repeat, binary);

    std::printf("\nAgainst the plain evaluations (same bits), about 1000 basis functions, seconds:\n\n");
    std::printf("| family | basis | assembly plain | fast, 1 thread | gain | fast, 2 threads | gain | density plain | fast, 1 thread | gain | fast, 2 threads | gain |\n");
    std::printf("|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
    compare_plain("alkane", zb::alkane(166));
    compare_plain("flake", zb::flake(6));
    compare_plain("N/O", zb::no_chain(43));

    // Small molecules: a water run against the bare cost of a process that loads LAPACK.
    {
        zephor_test::TempDir w;
        const std::string water = "water\n0\nO 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n";
        std::vector<double> water_t, bare_t;
        for (int i = 0; i < 21; ++i) {
            fs::remove(w / "FOR006");
            fs::remove(w / "FOR007");
            write_file(w / "FOR005", water);
            water_t.push_back(run_process({ZEPHOR_BINARY}, w.path(), threads).wall);
            bare_t.push_back(run_process({self, "--lapack-only"}, w.path(), threads).wall);
        }
        std::printf("\nWater: %.2f ms per run; a process that only loads LAPACK and solves 1 x 1: %.2f ms "
                    "(medians of 21).\n",
                    1e3 * median(water_t), 1e3 * median(bare_t));
    }
    return 0;
}
