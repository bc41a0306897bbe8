// Row blocks of both output files: five values to a line.
#include "output/row_blocks.hpp"

#include <algorithm>

#include "output/fields.hpp"

namespace zephor {

void write_int_rows(OutputFile& f, std::span<const std::int32_t> values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        put_i12(f.line(), values[i]);
        if (ends_row(i, values.size())) f.end_line();
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
// Shorter lists are formatted on the calling thread, into the line buffer.
constexpr std::size_t threaded_from_values = 2 * chunk_values;

// Lines of five ES16.8E2 fields for values[first, last), first a multiple of five, written at
// `out`; returns the end.
char* format_real_rows(char* out, std::span<const double> values, std::size_t first,
                       std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
        out = put_es16(out, values[i]);
        if (ends_row(i, values.size())) *out++ = '\n';
    }
    return out;
}

}  // namespace

void reserve_row_block(OutputFile& f, std::size_t values) {
    if (values >= threaded_from_values) f.reserve_scratch(2 * chunks_per_batch * chunk_bytes);
}

void write_real_rows(OutputFile& f, std::span<const double> values) {
    if (values.size() < threaded_from_values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            put_es16(f.line(), values[i]);
            if (ends_row(i, values.size())) f.end_line();
        }
        return;
    }
    f.flush();
    // Room for two batches; nothing inside the parallel region allocates or throws.
    reserve_row_block(f, values.size());
    char* const text = f.scratch();
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
                    error = f.try_store(slot(b - 1, c), length[(b - 1) % 2][c]);
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
    if (error != 0) f.fail_write(error);
}

}  // namespace zephor
