// The entry points of the solve module loaded in its own namespace (private_library.hpp). Only
// plain C types cross: the namespace has its own C and C++ runtimes, so neither memory nor
// exceptions may pass from one side to the other.
#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "solver/deferred_rotations.hpp"
#include "solver/eigen_solve.hpp"
#include "solver/split_level3.hpp"

namespace {

// 0 solved (INFO in *info), 1 memory refused, 2 a report (where, a line feed, the message).
int fail(int kind, const std::string& text, char* message, std::size_t message_size) {
    if (message_size > 0) {
        const std::size_t k = std::min(text.size(), message_size - 1);
        std::memcpy(message, text.data(), k);
        message[k] = '\0';
    }
    return kind;
}

}  // namespace

extern "C" {

// a and b (n x n) and w (n) are the caller's: they are copied in and out.
__attribute__((visibility("default"))) int zephor_private_dsygv(double* a, double* b, int n, double* w, int* info,
                                                                char* message, std::size_t message_size) {
    try {
        const std::size_t nn = n > 0 ? static_cast<std::size_t>(n) * static_cast<std::size_t>(n) : 0;
        std::vector<double> aa(a, a + nn), bb(b, b + nn), ww;
        *info = zephor::dsygv_in_place(aa, bb, n, ww);
        std::copy(aa.begin(), aa.end(), a);
        std::copy(bb.begin(), bb.end(), b);
        std::copy(ww.begin(), ww.end(), w);
        return 0;
    } catch (const zephor::MemoryRefused& e) {
        return fail(1, e.what(), message, message_size);
    } catch (const zephor::ReportError& e) {
        return fail(2, e.where() + "\n" + e.what(), message, message_size);
    } catch (const std::bad_alloc&) {
        return fail(1, "Cannot allocate memory", message, message_size);
    } catch (const std::length_error&) {
        return fail(1, "Cannot allocate memory", message, message_size);
    }
}

// dsteqr calls, deferred sweeps, level-3 calls, split level-3 calls.
__attribute__((visibility("default"))) void zephor_private_counts(std::uint64_t* out) {
    const zephor::RotationCounts r = zephor::rotation_counts();
    const zephor::Level3Counts l = zephor::level3_counts();
    out[0] = r.dsteqr_calls;
    out[1] = r.deferred_sweeps;
    out[2] = l.calls;
    out[3] = l.split_calls;
}

// The library itself in this namespace (its own routines, none of the module's), for analyses.
// The library reaches this module's routines through its PLT from its first call on, so they
// are handed its own ones here, before any solve has loaded them.
__attribute__((visibility("default"))) void* zephor_private_library() {
    void* lib = dlopen(ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (lib != nullptr) {
        zephor::install_rotation_kernel(lib);
        zephor::install_level3_split(lib);
    }
    return lib;
}

}  // extern "C"
