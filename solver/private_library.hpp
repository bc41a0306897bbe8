// The pinned library inside a process that has its own copy of it already (a Python process whose
// numpy loaded the same OpenBLAS with the kernel and threads of its choosing).
//
// The program pins the library by loading it itself, and reaches its rotations and level-3
// routines because the executable exports them. Neither holds in such a process: a second dlopen
// of the file hands back the copy that is loaded, with its kernel, and a module loaded as a local
// library exports nothing to it. So the solve runs in a link-map namespace of its own: a small
// module (private_solve_entry.cpp with the solver's eigen_solve, deferred_rotations and
// split_level3) that depends on the library is loaded there, so that the library's PLT binds
// to the module's routines first, and that namespace's environment is set before the library is
// loaded, so that it reads the program's pins and the process's environment stays as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "solver/lapack_library.hpp"

namespace zephor {

struct PrivateSolveCounts {
    std::uint64_t dsteqr_calls = 0;     // solver/deferred_rotations.hpp
    std::uint64_t deferred_sweeps = 0;
    std::uint64_t level3_calls = 0;     // solver/split_level3.hpp
    std::uint64_t level3_split_calls = 0;
};

class PrivateSolver {
public:
    // Loads `environment_module` and then `solve_module` (the two files built beside the caller)
    // in a new namespace. A module that cannot be loaded is a ReportError naming it, a refused
    // resource MemoryRefused.
    PrivateSolver(const std::string& environment_module, const std::string& solve_module);
    PrivateSolver(const PrivateSolver&) = delete;
    PrivateSolver& operator=(const PrivateSolver&) = delete;
    ~PrivateSolver();  // the namespace stays loaded: the library keeps threads and buffers

    // dsygv_in_place (solver/eigen_solve.hpp) in the namespace: the same arguments and INFO, the
    // same exceptions. One solve at a time in a namespace (the library is pinned to one thread and
    // the routines keep the state of the solve they are in): callers on several threads wait here,
    // unless each has a namespace of its own (another PrivateSolver).
    int dsygv(std::vector<double>& a, std::vector<double>& b, std::int32_t n, std::vector<double>& orbital_energy) const;

    // Calls `f` with the namespace's library (a dlopen handle for dlsym, the library's own
    // routines) under the same lock, for analyses that use its LAPACK.
    void with_library(const std::function<void(void*)>& f) const;

    PrivateSolveCounts counts() const;
    // What the library in the namespace says of its kernel (openblas_get_corename), and of itself.
    std::string corename() const;
    // The library as the companions' provenance names it (lapack_library.hpp).
    LapackLibrary library() const;

private:
    struct Entries;
    std::unique_ptr<Entries> entries_;  // resolved in the namespace
};

}  // namespace zephor
