// The server's loop: a request read from a descriptor of its own (never through stdio, whose
// standard input is the run's), the run in this process with memory files for its standard
// input and error, and the answer. The formats Open Babel reads are read, as always, in a child
// process of the run; that child is forked from this server, whose plugins are loaded already.
#include "import/request_server.hpp"

#include <fcntl.h>
#include <openbabel/obconversion.h>
#include <stdio_ext.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "import/child_process.hpp"
#include "import/errors.hpp"
#include "import/request_reader.hpp"

namespace zephor::importer {

namespace {

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

// One request, run in this process on descriptors 0, 1 and 2 of its own (its standard input,
// /dev/null, its standard error) and in its folder. Returns its exit status, or -1 when it could
// not be run here as a process would run it (a folder it cannot enter, an exception the program
// would not have caught): the batch then starts the program.
int run_here(const ImportRequest& r, int input, int errors, int null, int home,
             const std::function<int(std::vector<char*>&)>& run) {
    if (::dup2(input, STDIN_FILENO) < 0 || ::dup2(null, STDOUT_FILENO) < 0 || ::dup2(errors, STDERR_FILENO) < 0)
        throw FileError(std::string("--serve: cannot set a run's descriptors: ") + std::strerror(errno));
    // Standard input's stream starts afresh: no end-of-file mark or buffered bytes of the last run.
    std::clearerr(stdin);
    ::__fpurge(stdin);
    int status = -1;
    if (::chdir(r.folder.c_str()) == 0) {
        std::vector<std::string> words{"zephor-import"};
        words.insert(words.end(), r.arguments.begin(), r.arguments.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        try {
            status = run(argv);
        } catch (...) {
            status = -1;
        }
    }
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    if (::fchdir(home) != 0) throw FileError(std::string("--serve: cannot return to its folder: ") + std::strerror(errno));
    if (::dup2(null, STDIN_FILENO) < 0 || ::dup2(null, STDERR_FILENO) < 0)
        throw FileError(std::string("--serve: cannot set its descriptors: ") + std::strerror(errno));
    return status;
}

// A descriptor's copy above 2, closed when a child program is started.
int kept(int fd) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) throw FileError(std::string("--serve: cannot keep a descriptor: ") + std::strerror(errno));
    return copy;
}

}  // namespace

int serve_requests(int in_fd, int out_fd, const std::function<int(std::vector<char*>&)>& run) {
    // A pipe whose reader has gone (the batch, or the long-lived reading child killed between
    // two molecules) is a failed write to handle, not the end of the server.
    ::signal(SIGPIPE, SIG_IGN);
    // Every format and force field is a plugin that each run would otherwise load afresh.
    OpenBabel::OBConversion::FindFormat("sdf");
    // The requests and answers move above 2: each run has 0, 1 and 2 to itself. The server's own
    // messages go to the standard error it was given.
    const int requests = kept(in_fd), answers = kept(out_fd), messages = kept(STDERR_FILENO);
    const int home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (home < 0 || null < 0) throw FileError(std::string("--serve: ") + std::strerror(errno));
    RequestReader in(requests);
    ImportRequest r;
    int result = 0;
    try {
        while (in.next(r)) {
            const int input = memory_file("stdin", r.standard_input);
            const int errors = memory_file("stderr", "");
            const int status = run_here(r, input, errors, null, home, run);
            const std::string said = status < 0 ? std::string() : contents(errors);
            ::close(input);
            ::close(errors);
            if (!write_all(answers, std::to_string(status) + " " + std::to_string(said.size()) + "\n" + said)) {
                result = 1;  // the batch has gone
                break;
            }
        }
    } catch (...) {
        ::dup2(messages, STDERR_FILENO);
        throw;
    }
    ::dup2(messages, STDERR_FILENO);
    return result;
}

}  // namespace zephor::importer
