// Writing a companion program's output file in one piece (zephor-export, zephor-import): the
// bytes go to a file without a name (O_TMPFILE) in the folder of the output, or, where the file
// system has no such files, to a temporary name there; only the complete file takes the output's
// name. Without `replace` the name is taken by a link, which fails atomically where anything
// stands; with `replace` by a rename over what stands there, which is never truncated or removed
// first. So a failed or killed write leaves the old file untouched and nothing cut short under the
// output's name. Something other than a regular file or a symbolic link under the name (a device,
// a FIFO, a socket, a folder) is never replaced; a symbolic link is replaced as a link, and what
// it points to is never written.
//
// Failures are returned as the message the user reads ("" for none), in the same words for both
// programs, which throw their own error type with it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

namespace zephor {

namespace whole_file_detail {

inline std::string folder_of(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
}

inline std::string cannot(const char* what, const std::string& name, int err) {
    return std::string(what) + name + ": " + std::strerror(err);
}

// A name beside `name` for a file that is not complete yet (".NAME.part-PID-TAG"); the caller
// creates it exclusively and takes the next `attempt` when it is taken.
inline std::string temporary_beside(const std::string& name, int attempt) {
    const std::size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    char tag[48];
    std::snprintf(tag, sizeof tag, ".part-%ld-%lx", static_cast<long>(::getpid()),
                  static_cast<unsigned long>(now.tv_nsec) ^ (static_cast<unsigned long>(attempt) << 32));
    return folder_of(name) + "/." + base + tag;
}

}  // namespace whole_file_detail

// Why `name` cannot be written as an output now ("" when it can): it is not a regular file or a
// symbolic link, or it exists and `replace` is not given, or the folder cannot be searched.
inline std::string output_name_problem(const std::string& name, bool replace) {
    struct stat st;
    if (::fstatat(AT_FDCWD, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return whole_file_detail::cannot("cannot create ", name, errno);
        // A missing folder, found before anything is written.
        if (::stat(whole_file_detail::folder_of(name).c_str(), &st) != 0) return whole_file_detail::cannot("cannot create ", name, errno);
        return "";
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return name + " is not a regular file; it is never replaced, not even with --force";
    if (!replace) return name + " exists already; use --force to replace it";
    return "";
}

// One output file: open(), write() as often as needed, publish(). Until publish() succeeds the
// output's name is untouched; a file dropped before that (its destructor) leaves nothing behind.
// A killed process can leave a temporary name only where the file system has no unnamed files,
// or when replacing, in the moment between the link under a temporary name and its rename.
class WholeFile {
public:
    WholeFile(std::string name, bool replace) : name_(std::move(name)), replace_(replace) {}
    ~WholeFile() { drop(); }
    WholeFile(WholeFile&& o) noexcept
        : name_(std::move(o.name_)), temporary_(std::move(o.temporary_)), fd_(o.fd_), replace_(o.replace_),
          unnamed_(o.unnamed_) {
        o.fd_ = -1;
        o.temporary_.clear();
    }
    WholeFile& operator=(WholeFile&&) = delete;
    WholeFile(const WholeFile&) = delete;

    const std::string& name() const { return name_; }

    // Checks the name and creates the unnamed (or temporarily named) file in its folder.
    std::string open() {
        if (std::string problem = output_name_problem(name_, replace_); !problem.empty()) return problem;
        // A write beyond the file-size limit (ulimit -f) then fails with EFBIG, reported below,
        // instead of ending the process with SIGXFSZ.
        ::signal(SIGXFSZ, SIG_IGN);
        const std::string folder = whole_file_detail::folder_of(name_);
        fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            unnamed_ = true;
            return "";
        }
        // Only a file system without unnamed files falls back to a temporary name; a folder that
        // refuses new files refuses both.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return whole_file_detail::cannot("cannot create ", name_, errno);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string t = whole_file_detail::temporary_beside(name_, attempt);
            fd_ = ::open(t.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0) {
                temporary_ = t;
                return "";
            }
            if (errno != EEXIST) break;
        }
        return whole_file_detail::cannot("cannot create ", name_, errno);
    }

    // Appends `text`, through interruptions and short writes.
    std::string write(std::string_view text) {
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return whole_file_detail::cannot("cannot write ", name_, n < 0 ? errno : ENOSPC);
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        return "";
    }

    // Gives the complete file the output's name.
    std::string publish() {
        // What stands under the name now (it may have changed since open()).
        if (std::string problem = output_name_problem(name_, replace_); !problem.empty()) return problem;
        std::string failure = unnamed_ ? name_unnamed() : name_temporary();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && failure.empty()) failure = whole_file_detail::cannot("cannot write ", name_, errno);
        return failure;
    }

private:
    // A link of the open unnamed file at `target`: 0 or the errno (EEXIST: the name is taken).
    // The direct form needs a privilege; /proc names the open file for everyone else.
    int link_to(const std::string& target) const {
        if (::linkat(fd_, "", AT_FDCWD, target.c_str(), AT_EMPTY_PATH) == 0) return 0;
        if (errno == EEXIST) return EEXIST;
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
        return errno;
    }

    std::string name_unnamed() {
        unnamed_ = false;
        const int err = link_to(name_);
        if (err == 0) return "";
        if (err != EEXIST || !replace_) return err == EEXIST ? name_ + " exists already; use --force to replace it"
                                                            : whole_file_detail::cannot("cannot write ", name_, err);
        // Replacing: a link under a temporary name, then renamed over the old file.
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string t = whole_file_detail::temporary_beside(name_, attempt);
            const int e = link_to(t);
            if (e == EEXIST) continue;
            if (e != 0) return whole_file_detail::cannot("cannot write ", name_, e);
            if (::rename(t.c_str(), name_.c_str()) == 0) return "";
            const int r = errno;
            ::unlink(t.c_str());
            return whole_file_detail::cannot("cannot write ", name_, r);
        }
        return whole_file_detail::cannot("cannot write ", name_, EEXIST);
    }

    std::string name_temporary() {
        const std::string t = std::move(temporary_);
        temporary_.clear();
        if (replace_) {
            if (::rename(t.c_str(), name_.c_str()) == 0) return "";
        } else {
            // Never over anything: a rename that refuses a taken name, else a link and an unlink.
            if (::renameat2(AT_FDCWD, t.c_str(), AT_FDCWD, name_.c_str(), RENAME_NOREPLACE) == 0) return "";
            if (errno == EINVAL || errno == ENOSYS) {
                if (::link(t.c_str(), name_.c_str()) == 0) {
                    ::unlink(t.c_str());
                    return "";
                }
            }
        }
        const int err = errno;
        ::unlink(t.c_str());
        return err == EEXIST && !replace_ ? name_ + " exists already; use --force to replace it"
                                          : whole_file_detail::cannot("cannot write ", name_, err);
    }

    void drop() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        temporary_.clear();
    }

    std::string name_;
    std::string temporary_;  // the fallback's temporary name, until renamed
    int fd_ = -1;
    bool replace_ = false;
    bool unnamed_ = false;  // written through O_TMPFILE, not named yet
};

// `text` as the whole file `name`: "" when written, else the message.
inline std::string write_whole_file(const std::string& name, std::string_view text, bool replace) {
    WholeFile f(name, replace);
    std::string failure = f.open();
    if (failure.empty()) failure = f.write(text);
    if (failure.empty()) failure = f.publish();
    return failure;
}

}  // namespace zephor
