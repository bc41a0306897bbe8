// Buffered, exclusive-create output files.
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
#include "output/fields.hpp"

namespace zephor {

namespace {
// Stored whenever the buffer grows past this; large enough that writing is not the cost.
constexpr std::size_t flush_threshold = std::size_t(1) << 20;
}  // namespace

OutputFile::OutputFile(std::string name, int unit) : unit_(unit), name_(std::move(name)) {
    buf_.reserve(flush_threshold + 4096);
}

OutputFile OutputFile::create_new(const std::string& name, int unit) {
    OutputFile f(name, unit);
    f.open();
    return f;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(other.fd_), unit_(other.unit_), unnamed_(other.unnamed_), name_(std::move(other.name_)),
      buf_(std::move(other.buf_)), staging_(std::move(other.staging_)) {
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

void OutputFile::write_int_rows(std::span<const std::int32_t> values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        put_i12(buf_, values[i]);
        if (i % 5 == 4 || i + 1 == values.size()) end_line();
    }
}

namespace {

// Long lists (the orbital coefficients) are formatted on OpenMP threads in chunks of whole lines
// and stored in list order, so the bytes are those of one pass. Storing a batch (system time,
// most of it page-cache work) overlaps with the formatting of the next: one thread stores while
// the others format, then joins them.
constexpr std::size_t chunk_values = 5 * 4096;
constexpr std::size_t chunks_per_batch = 16;
constexpr std::size_t chunk_bytes = chunk_values * 16 + chunk_values / 5;  // whole lines

// Lines of five ES16.8E2 fields for values[first, last), first a multiple of five, written at
// `out`; returns the end.
char* format_real_rows(char* out, std::span<const double> values, std::size_t first,
                       std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
        out = put_es16(out, values[i]);
        if (i % 5 == 4 || i + 1 == values.size()) *out++ = '\n';
    }
    return out;
}

}  // namespace

void OutputFile::write_real_rows(std::span<const double> values) {
    if (values.size() < 2 * chunk_values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            put_es16(buf_, values[i]);
            if (i % 5 == 4 || i + 1 == values.size()) end_line();
        }
        return;
    }
    flush();
    reserve_row_block(values.size());
    char* const text = staging_.data();
    std::size_t length[2][chunks_per_batch] = {};
    const std::size_t chunks = (values.size() + chunk_values - 1) / chunk_values;
    const std::size_t batches = (chunks + chunks_per_batch - 1) / chunks_per_batch;
    auto batch_size = [&](std::size_t b) {
        return b < batches ? std::min(chunks_per_batch, chunks - b * chunks_per_batch) : 0;
    };
    auto slot = [&](std::size_t b, std::size_t c) {
        return text + ((b % 2) * chunks_per_batch + c) * chunk_bytes;
    };
    int error = 0;
    for (std::size_t b = 0; b <= batches && error == 0; ++b) {
        // Batch b - 1 is stored while batch b is formatted.
        const long long next = static_cast<long long>(batch_size(b));
#pragma omp parallel
        {
#pragma omp single nowait
            if (b > 0) {
                for (std::size_t c = 0; c < batch_size(b - 1) && error == 0; ++c)
                    error = store_errno(slot(b - 1, c), length[(b - 1) % 2][c]);
            }
#pragma omp for schedule(dynamic, 1) nowait
            for (long long cc = 0; cc < next; ++cc) {
                const std::size_t c = static_cast<std::size_t>(cc);
                const std::size_t chunk = b * chunks_per_batch + c;
                const char* end = format_real_rows(slot(b, c), values, chunk * chunk_values,
                                                   std::min(values.size(), (chunk + 1) * chunk_values));
                length[b % 2][c] = static_cast<std::size_t>(end - slot(b, c));
            }
        }
    }
    if (error != 0) fail_write(error);
}

void OutputFile::reserve_row_block(std::size_t values) {
    if (values < 2 * chunk_values || !staging_.empty()) return;
    // Room for two batches (nothing inside the parallel region allocates or throws) on huge
    // pages: first touches of fresh small pages would cost more than the formatting.
    reserve_large(staging_, 2 * chunks_per_batch * chunk_bytes);
    staging_.resize(2 * chunks_per_batch * chunk_bytes);
}

int OutputFile::store_errno(const char* data, std::size_t size) {
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
    if (const int err = store_errno(data, size); err != 0) fail_write(err);
}

void OutputFile::flush() {
    if (fd_ < 0 || buf_.empty()) return;
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
    if (fd_ < 0) return;
    publish();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail_write(errno);
}

}  // namespace zephor
