// Work done in a forked child process under limits, for a library that a hostile input can crash
// or keep busy: the parent collects the bytes the child writes to its pipe and how the child
// ended, and kills it at a wall-clock deadline, so a crash or a hang of the library becomes an
// answer the parent can report.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

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

// A message on a pipe between a long-lived child and its parent: "LENGTH\nBYTES".
std::string counted(const std::string& bytes);
// The count in such a head: up to twelve decimal digits and nothing else; nothing otherwise.
std::optional<std::size_t> count_of(std::string_view digits);
// The child's side: the next message from fd, or nothing at its end (or a malformed one).
std::optional<std::string> read_counted(int fd);

// A child process that answers one request after another, for a parent that would otherwise
// fork for each of them: serve(requests, answers) reads counted messages from the first
// descriptor and writes one counted answer to the second for each request, until the end of
// its requests. The child starts as run_in_child's does (standard descriptors on /dev/null, no
// core file, the address-space limit; no processor-time limit, which would count every request:
// the wall-clock limit of each request stands in for it), in the root folder, holding none of
// the parent's descriptors but its two. Destroying it ends and reaps the child.
class ChildServer {
public:
    ChildServer(const std::function<void(int requests, int answers)>& serve, const ChildLimits& limits);
    ~ChildServer();
    ChildServer(const ChildServer&) = delete;
    ChildServer& operator=(const ChildServer&) = delete;

    enum class Outcome {
        answered,   // `answer` holds the child's answer
        timed_out,  // no whole answer within `wall`: killed and reaped
        ended       // the child ended, or its answer was cut, malformed or longer than the
                    // limits' most_output: killed and reaped
    };
    // Sends `request` (written as it stands: the caller counts its fields) and waits for one
    // answer. After anything but answered the child is gone, and the caller starts another.
    // The caller's process ignores SIGPIPE, so that a child killed meanwhile is an ended one.
    Outcome ask(const std::string& request, std::chrono::milliseconds wall, std::string& answer);

private:
    void stop();
    pid_t pid_ = -1;
    int to_child_ = -1, from_child_ = -1;
    std::size_t most_output_;
};

}  // namespace zephor::importer
