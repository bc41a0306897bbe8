// Which linear-algebra library zephor loads (configured when it was built) and what that library
// says of itself, for the companions' provenance: zephor's own messages name only the file.
#pragma once

#include <string>

namespace zephor {

struct LapackLibrary {
    std::string path;     // the file zephor loads
    std::string config;   // OpenBLAS's openblas_get_config() ("OpenBLAS 0.3.21 ..."); "" when
                          // the file cannot be loaded or is not OpenBLAS
    std::string version;  // the version word of `config` ("0.3.21"), or ""
};

// Loads the library in this process (with the thread count and kernel zephor pins, so that it
// reports what zephor runs) and asks it.
LapackLibrary lapack_library();

// What the library opened as `lib` (a dlopen handle, `path` its file) says of itself.
LapackLibrary describe_lapack_library(void* lib, const std::string& path);

// The loaded library's handle for dlsym, for the companions' own analyses (nullptr when it cannot
// be loaded). It stays loaded for the life of the process.
void* open_lapack_library();

}  // namespace zephor
