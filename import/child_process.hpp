// Work done in a forked child process under limits, for a library that a hostile input can crash
// or keep busy: the parent collects the bytes the child writes to its pipe and how the child
// ended, and kills it at a wall-clock deadline, so a crash or a hang of the library becomes an
// answer the parent can report.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace zephor::importer {

struct ChildLimits {
    std::chrono::milliseconds wall{60000};    // from the fork; SIGKILL then
    std::uint64_t cpu_seconds = 61;           // RLIMIT_CPU in seconds (SIGXCPU past it)
    std::uint64_t address_space = 0;          // RLIMIT_AS in bytes; 0 sets none
    std::size_t most_output = 64u << 20;      // bytes taken from the pipe before the child is killed
};

struct ChildEnd {
    enum class How { exited, signalled, timed_out, too_much_output };
    How how = How::exited;
    int exit_status = 0;  // How::exited
    int signal = 0;       // How::signalled (SIGXCPU, from RLIMIT_CPU, counts as timed_out)
    std::string output;   // what the child wrote to its descriptor, in order
};

// Whether this build runs under AddressSanitizer, whose shadow memory takes terabytes of address
// space: RLIMIT_AS cannot be set there.
constexpr bool address_space_limit_possible() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#else
    return true;
#endif
#else
    return true;
#endif
}

// Forks; the child, with standard input, output and error on /dev/null and no core file, runs
// work(fd), writing its answer to fd, and leaves by _exit with the status work returns (125 for
// an exception), so none of the parent's destructors or exit handlers run twice. Throws
// FileError when the system refuses the pipe or the process.
ChildEnd run_in_child(const std::function<int(int fd)>& work, const ChildLimits& limits);

// Writes all of `bytes` to fd; false when the pipe refuses them (the parent has gone).
bool write_all(int fd, const std::string& bytes);

}  // namespace zephor::importer
