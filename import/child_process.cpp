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
#include <utility>

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
    int release() { return std::exchange(fd_, -1); }
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

// The child's limits and descriptors, before its work.
void prepare_child(const ChildLimits& limits) {
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
}

// The child's side: never returns.
[[noreturn]] void child_main(int fd, const std::function<int(int)>& work, const ChildLimits& limits) {
    prepare_child(limits);
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

std::string counted(const std::string& bytes) {
    return std::to_string(bytes.size()) + "\n" + bytes;
}

std::optional<std::size_t> count_of(std::string_view digits) {
    if (digits.empty() || digits.size() > 12) return std::nullopt;
    std::size_t n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = 10 * n + static_cast<std::size_t>(c - '0');
    }
    return n;
}

namespace {

bool read_exactly(int fd, char* to, std::size_t n) {
    while (n > 0) {
        const ssize_t got = ::read(fd, to, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

std::optional<std::string> read_counted(int fd) {
    std::string head;
    char c = 0;
    while (head.size() <= 12) {
        if (!read_exactly(fd, &c, 1)) return std::nullopt;
        if (c == '\n') break;
        head += c;
    }
    const auto n = count_of(head);
    if (!n || c != '\n') return std::nullopt;
    std::string bytes(*n, '\0');
    if (!read_exactly(fd, bytes.data(), *n)) return std::nullopt;
    return bytes;
}

ChildServer::ChildServer(const std::function<void(int, int)>& serve, const ChildLimits& limits)
    : most_output_(limits.most_output) {
    int down[2], up[2];
    if (::pipe2(down, O_CLOEXEC) != 0) throw FileError(std::string("cannot make a pipe: ") + std::strerror(errno));
    Fd down_read(down[0]), down_write(down[1]);
    if (::pipe2(up, O_CLOEXEC) != 0) throw FileError(std::string("cannot make a pipe: ") + std::strerror(errno));
    Fd up_read(up[0]), up_write(up[1]);
    const pid_t pid = ::fork();
    if (pid < 0) throw FileError(std::string("cannot start a process: ") + std::strerror(errno));
    if (pid == 0) {
        prepare_child(limits);
        // Its two descriptors as 3 and 4, and none of the parent's others: a batch waiting on the
        // parent's pipes must not wait on this child as well.
        const int requests = ::fcntl(down_read.get(), F_DUPFD, 10), answers = ::fcntl(up_write.get(), F_DUPFD, 10);
        if (requests < 0 || answers < 0 || ::dup2(requests, 3) < 0 || ::dup2(answers, 4) < 0) ::_exit(125);
        ::close_range(5, ~0U, 0);
        if (::chdir("/") != 0) ::_exit(125);
        try {
            serve(3, 4);
        } catch (...) {
        }
        ::_exit(0);
    }
    pid_ = pid;
    to_child_ = down_write.release();
    from_child_ = up_read.release();
}

ChildServer::~ChildServer() { stop(); }

void ChildServer::stop() {
    if (pid_ < 0) return;
    ::close(to_child_);
    ::close(from_child_);
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

ChildServer::Outcome ChildServer::ask(const std::string& request, std::chrono::milliseconds wall, std::string& answer) {
    if (pid_ < 0) return Outcome::ended;
    const Clock::time_point deadline = Clock::now() + wall;
    // The child reads the whole request before it answers, so the write ends however long the
    // request; a child that has gone refuses it (EPIPE: the caller ignores SIGPIPE).
    if (!write_all(to_child_, request)) {
        stop();
        return Outcome::ended;
    }
    std::string got;
    std::optional<std::size_t> length;
    std::size_t head = 0;
    char buffer[65536];
    for (;;) {
        if (!length) {
            if (const std::size_t end = got.find('\n'); end != std::string::npos) {
                length = count_of(std::string_view(got).substr(0, end));
                if (!length) break;
                head = end + 1;
            } else if (got.size() > 12) {
                break;
            }
        }
        if (length && got.size() >= head + *length) {
            if (got.size() != head + *length) break;  // more than one answer: not this child's way
            answer = got.substr(head);
            return Outcome::answered;
        }
        if (got.size() > most_output_) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            stop();
            return Outcome::timed_out;
        }
        pollfd p{from_child_, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = ::read(from_child_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the child has gone
        got.append(buffer, static_cast<std::size_t>(n));
    }
    stop();
    return Outcome::ended;
}

}  // namespace zephor::importer

