// Loading the solve module in a namespace of its own, with the environment that pins the
// library, and calling into it one solve at a time.
#include "solver/private_library.hpp"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "common/errors.hpp"

namespace zephor {

namespace {

using set_environment_fn = void(char**);
using dsygv_entry_fn = int(double*, double*, int, double*, int*, char*, std::size_t);
using counts_entry_fn = void(std::uint64_t*);
using text_fn = char*();
using handle_fn = void*();

// The environment the namespace's library is loaded with: the process's, less whatever would
// choose the library's kernel or threads, plus the program's pins. Built once, kept for the life
// of the process (the namespace's C library holds on to it).
char** pinned_environment() {
    static std::vector<std::string> strings = [] {
        std::vector<std::string> v;
        for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
            const std::string entry = *e;
            if (entry.rfind("OPENBLAS_", 0) == 0 || entry.rfind("GOTO_", 0) == 0) continue;
            v.push_back(entry);
        }
        v.push_back("OPENBLAS_CORETYPE=Prescott");
        v.push_back("OPENBLAS_NUM_THREADS=1");
        return v;
    }();
    static std::vector<char*> pointers = [] {
        std::vector<char*> p;
        for (std::string& s : strings) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    }();
    return pointers.data();
}

// As eigen_solve.cpp judges the loader's words: a refused resource is the memory report.
[[noreturn]] void refuse_load(const std::string& file, const std::string& what) {
    static const int refusals[] = {ENOMEM, EMFILE, ENFILE, EAGAIN};
    for (const int e : refusals)
        if (what.find(std::strerror(e)) != std::string::npos) throw MemoryRefused(std::strerror(e));
    if (what.find("failed to map segment") != std::string::npos) throw MemoryRefused();
    throw ReportError("Error loading LAPACK (file = '" + file + "')", what);
}

void* symbol(void* handle, const char* name, const std::string& file) {
    void* p = dlsym(handle, name);
    if (p == nullptr) refuse_load(file, std::string("the module has no ") + name);
    return p;
}

}  // namespace

struct PrivateSolver::Entries {
    std::mutex lock;          // one solve or analysis at a time in this namespace
    void* library = nullptr;  // the library's own routines
    dsygv_entry_fn* dsygv = nullptr;
    counts_entry_fn* counts = nullptr;
    text_fn* corename = nullptr;
};

PrivateSolver::PrivateSolver(const std::string& environment_module, const std::string& solve_module) {
    // The first module becomes the namespace's main one; the solve module, loaded after it into
    // the same namespace, brings in the library as its dependency, so the library's scope
    // starts with the module's routines.
    void* env = dlmopen(LM_ID_NEWLM, environment_module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (env == nullptr) refuse_load(environment_module, dlerror());
    Lmid_t ns = 0;
    if (dlinfo(env, RTLD_DI_LMID, &ns) != 0) refuse_load(environment_module, dlerror());
    reinterpret_cast<set_environment_fn*>(symbol(env, "zephor_private_set_environment", environment_module))(
        pinned_environment());
    void* solve = dlmopen(ns, solve_module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (solve == nullptr) refuse_load(solve_module, dlerror());
    auto e = std::make_unique<Entries>();
    e->library = reinterpret_cast<handle_fn*>(symbol(solve, "zephor_private_library", solve_module))();
    if (e->library == nullptr) refuse_load(solve_module, "the library is not loaded in the module's namespace");
    e->dsygv = reinterpret_cast<dsygv_entry_fn*>(symbol(solve, "zephor_private_dsygv", solve_module));
    e->counts = reinterpret_cast<counts_entry_fn*>(symbol(solve, "zephor_private_counts", solve_module));
    e->corename = reinterpret_cast<text_fn*>(dlsym(solve, "openblas_get_corename"));
    entries_ = std::move(e);
}

PrivateSolver::~PrivateSolver() = default;

int PrivateSolver::dsygv(std::vector<double>& a, std::vector<double>& b, std::int32_t n,
                         std::vector<double>& orbital_energy) const {
    if (n <= 0) return -1;
    orbital_energy.resize(static_cast<std::size_t>(n));
    int info = 0;
    char message[1024];
    int kind = 0;
    {
        std::lock_guard<std::mutex> hold(entries_->lock);
        kind = entries_->dsygv(a.data(), b.data(), n, orbital_energy.data(), &info, message, sizeof message);
    }
    if (kind == 1) throw MemoryRefused(message);
    if (kind == 2) {
        const std::string text = message;
        const std::size_t nl = text.find('\n');
        throw ReportError(text.substr(0, nl), nl == std::string::npos ? std::string() : text.substr(nl + 1));
    }
    return info;
}

void PrivateSolver::with_library(const std::function<void(void*)>& f) const {
    std::lock_guard<std::mutex> hold(entries_->lock);
    f(entries_->library);
}

PrivateSolveCounts PrivateSolver::counts() const {
    std::uint64_t c[4] = {};
    {
        std::lock_guard<std::mutex> hold(entries_->lock);
        entries_->counts(c);
    }
    return {c[0], c[1], c[2], c[3]};
}

std::string PrivateSolver::corename() const {
    const char* t = entries_->corename ? entries_->corename() : nullptr;
    return t ? t : "";
}

LapackLibrary PrivateSolver::library() const {
    // openblas_get_config() builds its text in one static buffer on each call: two threads asking
    // at once garbled it ("... NO_AFFINITY  MAX_THREADS=64Prescott ..." in a result's provenance).
    std::lock_guard<std::mutex> hold(entries_->lock);
    return describe_lapack_library(entries_->library, ZEPHOR_LAPACK_LIBRARY);
}

}  // namespace zephor
