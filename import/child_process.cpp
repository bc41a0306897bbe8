// fork, pipe, poll and waitpid: the parent's side reads until the child closes its end, then
// waits for its status, never past the deadline.
#include "import/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "import/errors.hpp"

namespace zephor::importer {

namespace {

using Clock = std::chrono::steady_clock;

// A descriptor closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

void set_limit(int resource, std::uint64_t value) {
    const rlimit r{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    ::setrlimit(resource, &r);
}

// The child's side: never returns.
[[noreturn]] void child_main(int fd, const std::function<int(int)>& work, const ChildLimits& limits) {
    set_limit(RLIMIT_CORE, 0);
    if (limits.cpu_seconds > 0) {
        // The soft limit sends SIGXCPU; the hard one, a second later, SIGKILL.
        const rlimit cpu{static_cast<rlim_t>(limits.cpu_seconds), static_cast<rlim_t>(limits.cpu_seconds + 1)};
        ::setrlimit(RLIMIT_CPU, &cpu);
    }
    if (limits.address_space > 0) set_limit(RLIMIT_AS, limits.address_space);
    // What the library prints itself (libxml2 quotes the bad input, raw bytes and all) is dropped;
    // the parent says what went wrong.
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) ::close(null);
    }
    ::signal(SIGPIPE, SIG_IGN);
    int status = 125;
    try {
        status = work(fd);
    } catch (...) {
    }
    ::_exit(status);
}

ChildEnd ended(int status) {
    ChildEnd end;
    if (WIFEXITED(status)) {
        end.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
        end.how = ChildEnd::How::timed_out;
    } else {
        end.how = ChildEnd::How::signalled;
        end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return end;
}

}  // namespace

bool write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ChildEnd run_in_child(const std::function<int(int)>& work, const ChildLimits& limits) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw FileError(std::string("cannot make a pipe: ") + std::strerror(errno));
    Fd reading(ends[0]), writing(ends[1]);
    const Clock::time_point deadline = Clock::now() + limits.wall;
    const pid_t pid = ::fork();
    if (pid < 0) throw FileError(std::string("cannot start a process: ") + std::strerror(errno));
    if (pid == 0) {
        reading.reset();
        child_main(writing.get(), work, limits);
    }
    writing.reset();

    std::string output;
    bool stopped = false;  // killed by the parent: at the deadline, or for too much output
    ChildEnd::How why = ChildEnd::How::timed_out;
    const auto kill_child = [&](ChildEnd::How reason) {
        ::kill(pid, SIGKILL);
        stopped = true;
        why = reason;
    };
    char buffer[65536];
    while (!stopped) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            kill_child(ChildEnd::How::timed_out);
            break;
        }
        pollfd p{reading.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR) {
            kill_child(ChildEnd::How::signalled);
            break;
        }
        if (ready <= 0) continue;
        const ssize_t n = ::read(reading.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the child closed its end: it has exited, or is about to
        output.append(buffer, static_cast<std::size_t>(n));
        if (output.size() > limits.most_output) kill_child(ChildEnd::How::too_much_output);
    }

    int status = 0;
    for (;;) {
        const pid_t got = ::waitpid(pid, &status, stopped ? 0 : WNOHANG);
        if (got == pid) break;
        if (got < 0 && errno != EINTR) {
            status = 0;
            break;
        }
        if (got == 0) {
            // Closed its pipe but still running (a descriptor handed to a grandchild, or a hang
            // in the library's exit): killed at the deadline too.
            if (Clock::now() >= deadline) kill_child(ChildEnd::How::timed_out);
            else std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ChildEnd end = ended(status);
    if (stopped) {
        end.how = why;
        end.signal = 0;
    }
    end.output = std::move(output);
    return end;
}

}  // namespace zephor::importer
