// The library is opened as zephor opens it, but only to read its configuration text.
#include "solver/lapack_library.hpp"

#include <dlfcn.h>

#include <cstdlib>

namespace zephor {

void* open_lapack_library() {
    // The same pins as the solve: one thread (no pool of idle threads in a companion) and the
    // kernel whose bits zephor relies on, which the configuration text then names.
    setenv("OPENBLAS_CORETYPE", "Prescott", 1);
    setenv("OPENBLAS_NUM_THREADS", "1", 1);
    return dlopen(ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
}

LapackLibrary lapack_library() { return describe_lapack_library(open_lapack_library(), ZEPHOR_LAPACK_LIBRARY); }

LapackLibrary describe_lapack_library(void* lib, const std::string& path) {
    LapackLibrary l;
    l.path = path;
    if (lib == nullptr) return l;
    using config_fn = char*();
    if (auto* config = reinterpret_cast<config_fn*>(dlsym(lib, "openblas_get_config"))) {
        if (const char* text = config()) l.config = text;
    }
    // "OpenBLAS 0.3.21 NO_LAPACKE ...": the second word.
    const std::size_t a = l.config.find(' ');
    if (l.config.rfind("OpenBLAS ", 0) == 0 && a != std::string::npos) {
        const std::size_t b = l.config.find(' ', a + 1);
        l.version = l.config.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    }
    return l;  // the library stays loaded: a process asks once
}

}  // namespace zephor
