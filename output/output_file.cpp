// Buffered, exclusive-create output files.
#include "output/output_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "driver/errors.hpp"
#include "output/fields.hpp"

namespace zephor {

namespace {
// Stored whenever the buffer grows past this; large enough that writing is not the cost.
constexpr std::size_t flush_threshold = std::size_t(1) << 20;
}  // namespace

OutputFile OutputFile::create_new(const std::string& name, int unit) {
    // O_EXCL: the name must be free; a symbolic link, even a dangling one, is never followed.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return OutputFile(fd, unit, name);
}

OutputFile::OutputFile(int fd, int unit, std::string name) : fd_(fd), unit_(unit), name_(std::move(name)) {
    if (fd_ >= 0) buf_.reserve(flush_threshold + 4096);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(other.fd_), unit_(other.unit_), name_(std::move(other.name_)), buf_(std::move(other.buf_)) {
    other.fd_ = -1;
}

OutputFile::~OutputFile() {
    if (fd_ < 0) return;
    // Lines formatted before an early end are still stored, as an unbuffered file would have.
    const char* p = buf_.data();
    std::size_t left = buf_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd_);
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

// Lines of five ES16.8E2 fields for values[first, last), first a multiple of five.
void format_real_rows(std::string& out, std::span<const double> values, std::size_t first,
                      std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
        put_es16(out, values[i]);
        if (i % 5 == 4 || i + 1 == values.size()) out.push_back('\n');
    }
}

// Long lists (the orbital coefficients) are formatted on OpenMP threads, a batch of chunks at a
// time, and stored in list order; each chunk is whole lines, so the bytes are those of one pass.
constexpr std::size_t chunk_values = 5 * 4096;
constexpr std::size_t chunks_per_batch = 16;

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
    std::vector<std::string> text(chunks_per_batch);
    for (std::string& t : text) t.reserve(chunk_values * 16 + chunk_values / 5 + 1);
    const std::size_t chunks = (values.size() + chunk_values - 1) / chunk_values;
    for (std::size_t first = 0; first < chunks; first += chunks_per_batch) {
        const long long batch = static_cast<long long>(std::min(chunks_per_batch, chunks - first));
#pragma omp parallel for schedule(dynamic, 1)
        for (long long c = 0; c < batch; ++c) {
            const std::size_t chunk = first + static_cast<std::size_t>(c);
            std::string& t = text[static_cast<std::size_t>(c)];
            t.clear();
            format_real_rows(t, values, chunk * chunk_values,
                             std::min(values.size(), (chunk + 1) * chunk_values));
        }
        for (long long c = 0; c < batch; ++c) store(text[static_cast<std::size_t>(c)].data(),
                                                    text[static_cast<std::size_t>(c)].size());
    }
}

ReportError OutputFile::write_error(int err) const {
    return ReportError("Error writing (unit = " + std::to_string(unit_) + ", file = '" + name_ + "')",
                       std::strerror(err));
}

void OutputFile::store(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = (n < 0) ? errno : ENOSPC;
            throw write_error(err);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
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
    flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw write_error(errno);
}

}  // namespace zephor
