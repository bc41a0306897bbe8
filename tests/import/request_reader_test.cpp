// zephor-import --serve's requests: what is read, what is refused, and the fuzzer's seeds and
// findings read back to their own bytes.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "import/errors.hpp"
#include "import/request_reader.hpp"
#include "test_support.hpp"

namespace {

using zephor::importer::FileError;
using zephor::importer::ImportRequest;
using zephor::importer::RequestReader;

// Every request of `bytes`, read through a descriptor in the reader's blocks; the message of the
// FileError that ended them, or "".
std::vector<ImportRequest> read_all(const std::string& bytes, std::string& error) {
    const int fd = memfd_create("requests", 0);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    lseek(fd, 0, SEEK_SET);
    std::vector<ImportRequest> out;
    error.clear();
    try {
        RequestReader reader(fd);
        ImportRequest r;
        while (reader.next(r)) out.push_back(r);
    } catch (const FileError& e) {
        error = e.what();
    }
    close(fd);
    return out;
}

TEST(RequestReader, RequestsAreReadWholeAndAnythingElseIsRefused) {
    const ImportRequest xyz{{"-", "--format", "xyz", "-o", "FOR005"}, "1\n\nH 0 0 0\n", "/tmp/m"};
    // Longer than one read block, with every byte value in it.
    std::string big(200000, 'x');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 256);
    const ImportRequest large{{"--title", std::string("\0\n", 2)}, big, "."};
    const std::string two = encoded(xyz) + encoded(large);
    struct Case {
        std::string bytes;
        std::size_t requests;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"", 0, ""},
        {two, 2, ""},
        {two.substr(0, two.size() - 1), 1, "--serve: a request ends early"},
        {encoded(xyz) + "1\n", 1, "--serve: a request ends early"},
        {"01\n1\n-0\n0\n", 0, "--serve: a malformed request"},      // a leading zero
        {"1\n+1\n-0\n0\n", 0, "--serve: a malformed request"},      // a sign
        {"1 \n1\n-0\n0\n", 0, "--serve: a malformed request"},      // a space
        {"\n", 0, "--serve: a malformed request"},                  // no digits
        {"12345678901\n", 0, "--serve: a malformed request"},       // eleven digits
        {"1001\n", 0, "--serve: too many arguments"},
        {"1\n1073741825\n", 0, "--serve: a request too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 40));
        std::string error;
        const std::vector<ImportRequest> got = read_all(c.bytes, error);
        EXPECT_EQ(got.size(), c.requests);
        EXPECT_EQ(error, c.error);
        std::string again;
        for (const ImportRequest& r : got) again += encoded(r);
        EXPECT_EQ(again, c.bytes.substr(0, again.size()));
    }
    std::string error;
    const std::vector<ImportRequest> got = read_all(two, error);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].arguments, large.arguments);
    EXPECT_EQ(got[1].standard_input, big);
    EXPECT_EQ(got[0].folder, "/tmp/m");
}

TEST(RequestReader, EveryFuzzingSeedAndFindingReadsBackToItsBytes) {
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(ZEPHOR_IMPORT_DATA) + "/../../../fuzz/corpus/request")) {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string bytes = zephor_test::read_file(entry.path());
        std::string error;
        std::string again;
        for (const ImportRequest& r : read_all(bytes, error)) again += encoded(r);
        EXPECT_EQ(error.empty() ? again : bytes.substr(0, again.size()), error.empty() ? bytes : again);
        ++files;
    }
    EXPECT_GE(files, 3);
}

}  // namespace
