// The server's loop: a request read from a descriptor (never through stdio, whose buffers a
// forked child would inherit and read again as its own standard input), a child forked for it
// with memory files for standard input and error, and the answer written when the child ends.
#include "import/request_server.hpp"

#include <fcntl.h>
#include <openbabel/obconversion.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "import/child_process.hpp"
#include "import/errors.hpp"

namespace zephor::importer {

namespace {

constexpr std::size_t most_arguments = 1000;
constexpr std::size_t most_bytes = std::size_t{1} << 30;

// Reads fd in blocks; take() gives exactly n bytes or throws.
class Reader {
public:
    explicit Reader(int fd) : fd_(fd) {}
    // False at the end of input before any byte.
    bool at_end() {
        fill();
        return pos_ == buffer_.size();
    }
    std::size_t number() {
        std::size_t value = 0;
        std::size_t digits = 0;
        for (;;) {
            if (at_end()) throw FileError("--serve: a request ends early");
            const char c = buffer_[pos_++];
            if (c == '\n' && digits > 0) return value;
            if (c < '0' || c > '9' || ++digits > 10) throw FileError("--serve: a malformed request");
            value = value * 10 + static_cast<std::size_t>(c - '0');
        }
    }
    std::string take(std::size_t n) {
        std::string out;
        out.reserve(n);
        while (out.size() < n) {
            if (at_end()) throw FileError("--serve: a request ends early");
            const std::size_t k = std::min(n - out.size(), buffer_.size() - pos_);
            out.append(buffer_, pos_, k);
            pos_ += k;
        }
        return out;
    }
    std::string counted() {
        const std::size_t n = number();
        if (n > most_bytes) throw FileError("--serve: a request too large");
        return take(n);
    }

private:
    void fill() {
        if (pos_ < buffer_.size()) return;
        buffer_.resize(1 << 16);
        ssize_t got;
        do got = ::read(fd_, buffer_.data(), buffer_.size());
        while (got < 0 && errno == EINTR);
        if (got < 0) throw FileError(std::string("--serve: cannot read requests: ") + std::strerror(errno));
        buffer_.resize(static_cast<std::size_t>(got));
        pos_ = 0;
    }
    int fd_;
    std::string buffer_;
    std::size_t pos_ = 0;
};

int memory_file(const char* name, const std::string& bytes) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) throw FileError(std::string("--serve: no memory file: ") + std::strerror(errno));
    if (!write_all(fd, bytes) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        throw FileError(std::string("--serve: cannot fill a memory file: ") + std::strerror(errno));
    }
    return fd;
}

std::string contents(int fd) {
    std::string out;
    if (::lseek(fd, 0, SEEK_SET) != 0) return out;
    char block[4096];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return out;
        out.append(block, static_cast<std::size_t>(got));
    }
}

// The child's side of one request: never returns.
[[noreturn]] void run_child(const ImportRequest& r, int input, int errors,
                            const std::function<int(std::vector<char*>&)>& run) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (::dup2(input, STDIN_FILENO) < 0 || ::dup2(errors, STDERR_FILENO) < 0 || null < 0 ||
        ::dup2(null, STDOUT_FILENO) < 0)
        ::_exit(125);
    if (::chdir(r.folder.c_str()) != 0) {
        std::fprintf(stderr, "zephor-import: cannot enter the folder %s: %s\n", r.folder.c_str(), std::strerror(errno));
        ::_exit(1);
    }
    std::vector<std::string> words{"zephor-import"};
    words.insert(words.end(), r.arguments.begin(), r.arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int status = 125;
    try {
        status = run(argv);
    } catch (...) {
    }
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(status);
}

bool read_request(Reader& in, ImportRequest& r) {
    if (in.at_end()) return false;
    const std::size_t n = in.number();
    if (n > most_arguments) throw FileError("--serve: too many arguments");
    r.arguments.clear();
    for (std::size_t i = 0; i < n; ++i) r.arguments.push_back(in.counted());
    r.standard_input = in.counted();
    r.folder = in.counted();
    return true;
}

}  // namespace

int serve_requests(int in_fd, int out_fd, const std::function<int(std::vector<char*>&)>& run) {
    // Every format and force field is a plugin that each run would otherwise load afresh.
    OpenBabel::OBConversion::FindFormat("sdf");
    Reader in(in_fd);
    ImportRequest r;
    while (read_request(in, r)) {
        const int input = memory_file("stdin", r.standard_input);
        const int errors = memory_file("stderr", "");
        const pid_t pid = ::fork();
        if (pid < 0) {
            ::close(input);
            ::close(errors);
            throw FileError(std::string("--serve: cannot fork: ") + std::strerror(errno));
        }
        if (pid == 0) run_child(r, input, errors, run);
        int wstatus = 0;
        while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
        }
        const int status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        const std::string messages = contents(errors);
        ::close(input);
        ::close(errors);
        if (!write_all(out_fd, std::to_string(status) + " " + std::to_string(messages.size()) + "\n" + messages))
            return 1;  // the batch has gone
    }
    return 0;
}

}  // namespace zephor::importer
