// Output files: the handle, its line buffer, unnamed writing and naming, and refused writes.
#include "output/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/large_array.hpp"
#include "common/errors.hpp"

namespace zephor {

namespace {
// Stored whenever the buffer grows past this; large enough that writing is not the cost.
constexpr std::size_t flush_threshold = std::size_t(1) << 20;
}  // namespace

OutputFile::OutputFile(std::string name, int unit) : unit_(unit), name_(std::move(name)) {
    buf_.reserve(flush_threshold + 4096);
}

OutputFile OutputFile::in_memory(const std::string& name, int unit) {
    OutputFile f(name, unit);
    f.in_memory_ = true;
    return f;
}

std::string OutputFile::take_text() {
    flush();
    return std::move(memory_);
}

OutputFile OutputFile::create_new(const std::string& name, int unit) {
    OutputFile f(name, unit);
    f.open();
    return f;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(other.fd_), unit_(other.unit_), unnamed_(other.unnamed_), in_memory_(other.in_memory_),
      name_(std::move(other.name_)), buf_(std::move(other.buf_)), scratch_(std::move(other.scratch_)),
      memory_(std::move(other.memory_)) {
    other.fd_ = -1;
}

OutputFile::~OutputFile() {
    if (fd_ < 0) return;
    // Lines formatted before an early end are still stored in a file that has its name, as an
    // unbuffered file would have; an unnamed file simply vanishes with its handle.
    const char* p = buf_.data();
    std::size_t left = unnamed_ ? 0 : buf_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd_);
}

bool OutputFile::name_is_free() const {
    struct stat st;
    return ::fstatat(AT_FDCWD, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

bool OutputFile::open() {
    if (fd_ >= 0 || !name_is_free()) return false;
    const std::size_t slash = name_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name_.substr(0, slash);
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        unnamed_ = true;
        return true;
    }
    // Only a file system without unnamed files falls back to writing under the name; a folder
    // that refuses new files refuses both.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    // O_EXCL: the name must be free; a symbolic link, even a dangling one, is never followed.
    fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

int OutputFile::give_name() {
    if (!unnamed_) return 0;
    unnamed_ = false;
    // Like an exclusive create, a link never replaces anything: EEXIST when the name is taken.
    // The direct form needs a privilege; /proc names the open file for everyone else.
    if (::linkat(fd_, "", AT_FDCWD, name_.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name_.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return errno;
}

bool OutputFile::publish() {
    flush();
    const int err = give_name();
    if (err == EEXIST) return false;
    if (err != 0) throw ReportError("Error writing (unit = " + std::to_string(unit_) + ", file = '" + name_ + "')",
                                    std::strerror(err));
    return true;
}

void OutputFile::fail_write(int err) {
    // What was stored before the refusal stays, under the file's name.
    give_name();
    throw ReportError("Error writing (unit = " + std::to_string(unit_) + ", file = '" + name_ + "')",
                      std::strerror(err));
}

void OutputFile::end_line() {
    buf_.push_back('\n');
    if (buf_.size() >= flush_threshold) flush();
}

void OutputFile::write_line(std::string_view text) {
    buf_.append(text);
    end_line();
}

void OutputFile::reserve_scratch(std::size_t bytes) {
    if (scratch_.size() >= bytes) return;
    // On huge pages: first touches of fresh small pages would cost more than filling them.
    reserve_large(scratch_, bytes);
    scratch_.resize(bytes);
}

int OutputFile::try_store(const char* data, std::size_t size) {
    if (fd_ < 0 && in_memory_) {
        memory_.append(data, size);
        return 0;
    }
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return (n < 0) ? errno : ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

void OutputFile::store(const char* data, std::size_t size) {
    if (const int err = try_store(data, size); err != 0) fail_write(err);
}

void OutputFile::flush() {
    if ((fd_ < 0 && !in_memory_) || buf_.empty()) return;
    // Whatever the system refuses is dropped, so that nothing is written twice on the way out.
    try {
        store(buf_.data(), buf_.size());
    } catch (...) {
        buf_.clear();
        throw;
    }
    buf_.clear();
}

void OutputFile::close() {
    if (in_memory_) flush();
    if (fd_ < 0) return;
    publish();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail_write(errno);
}

}  // namespace zephor
