// zephor-export killed at random moments: while it computes, while it writes a large cube or a
// results page, while it names them. Every output name is then absent or holds exactly the bytes
// of an undisturbed run, and no other file is left in the folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "export_test_support.hpp"

namespace {

using namespace zephor_export_test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path golden = fs::path(ZEPHOR_EXPORT_DATA) / ".." / "golden";
const char* const inputs[] = {"FOR005", "FOR006", "FOR007"};

void copy_run(const TempDir& dir, const std::string& molecule) {
    for (const char* f : inputs) fs::copy_file(golden / molecule / f, dir / f);
}

pid_t start(const TempDir& dir, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(ZEPHOR_EXPORT_BINARY));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (chdir(dir.path().c_str()) != 0 || null < 0) _exit(127);
        dup2(null, 1);
        dup2(null, 2);
        execv(ZEPHOR_EXPORT_BINARY, argv.data());
        _exit(127);
    }
    return pid;
}

// Whether the process holds a file open in `dir` other than its inputs: an output being written,
// named or not (an unnamed one shows as "#inode (deleted)").
bool writing_in(pid_t pid, const TempDir& dir) {
    std::error_code ec;
    const std::string folder = dir.path().string() + "/";
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        char target[PATH_MAX];
        const ssize_t n = readlink(fd.path().c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        const std::string t(target, static_cast<std::size_t>(n));
        if (t.compare(0, folder.size(), folder) != 0) continue;
        const std::string name = t.substr(folder.size());
        if (name != "FOR005" && name != "FOR006" && name != "FOR007") return true;
    }
    return false;
}

struct Timing {
    Clock::duration whole;    // start to exit
    Clock::duration writing;  // first output open to exit
};

// Runs to the end, or kills the process `kill_after` after its start or (from_writing) after it
// first opened an output. Returns the timing of a run that was not killed.
Timing run_or_kill(const TempDir& dir, const std::vector<std::string>& args, std::optional<Clock::duration> kill_after,
                   bool from_writing, bool* killed) {
    const auto t0 = Clock::now();
    const pid_t pid = start(dir, args);
    EXPECT_GT(pid, 0);
    int status = 0;
    std::optional<Clock::time_point> opened;
    *killed = false;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        const auto now = Clock::now();
        if (!opened && writing_in(pid, dir)) opened = now;
        const std::optional<Clock::time_point> from = from_writing ? opened : std::optional<Clock::time_point>(t0);
        if (kill_after && from && now - *from >= *kill_after) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            *killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const auto end = Clock::now();
    if (!*killed) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    return {end - t0, end - opened.value_or(end)};
}

// Each output absent or whole, and nothing else beside the inputs (and `old`, the files that
// stood there before, each either still itself or the whole new output).
void expect_absent_or_whole(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& ref,
                            const std::vector<std::pair<std::string, std::string>>& old = {}) {
    std::set<std::string> allowed(std::begin(inputs), std::end(inputs));
    for (const auto& [name, bytes] : ref) {
        allowed.insert(name);
        if (!fs::exists(dir / name)) continue;
        const std::string now = read_file(dir / name);
        bool was_old = false;
        for (const auto& [o, old_bytes] : old) was_old = was_old || (o == name && now == old_bytes);
        EXPECT_TRUE(now == bytes || was_old) << name << " is cut: " << now.size() << " of " << bytes.size() << " bytes";
    }
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        // Replacing takes a link under a temporary name for the moment of its rename; a kill just
        // then leaves that link (and nothing under the output's name changed).
        const bool replacing_link = !old.empty() && name.find(".part-") != std::string::npos;
        EXPECT_TRUE(allowed.count(name) != 0 || replacing_link) << "left behind: " << name;
    }
}

void kill_at_random_moments(const std::string& molecule, const std::vector<std::string>& args,
                            const std::vector<std::string>& outputs, int attempts, bool over_old_files) {
    std::vector<std::pair<std::string, std::string>> ref, old;
    Timing t{};
    {
        TempDir dir;
        copy_run(dir, molecule);
        bool killed = false;
        t = run_or_kill(dir, args, std::nullopt, false, &killed);
        for (const std::string& o : outputs) {
            ASSERT_TRUE(fs::exists(dir / o)) << o;
            ref.emplace_back(o, read_file(dir / o));
            if (over_old_files) old.emplace_back(o, "the old " + o + "\n");
        }
    }
    std::mt19937 random(20261209);
    int killed_writing = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        TempDir dir;
        copy_run(dir, molecule);
        for (const auto& [name, bytes] : old) write_file(dir / name, bytes);
        // Every other attempt at any moment of the run, the others while the outputs are written
        // and named.
        const bool from_writing = attempt % 2 == 1;
        const auto span = from_writing ? t.writing : t.whole;
        const auto after = std::chrono::duration_cast<Clock::duration>(span * (random() % 1000) / 1000.0);
        bool killed = false;
        run_or_kill(dir, args, after, from_writing, &killed);
        if (killed && from_writing) ++killed_writing;
        expect_absent_or_whole(dir, ref, old);
    }
    // Some of the kills came while the outputs were written or named (how many depends on the
    // machine's load, which stretches the run against the reference's timing).
    EXPECT_GT(killed_writing, 0);
}

}  // namespace

TEST(ExportKilled, ALargeCubeIsAbsentOrWhole) {
    // Hydrogen's orbital on a fine grid: 4.4 million points, a 35 MB cube, half a second (a
    // coarser grid in the sanitizer build, which runs several times slower).
    const std::string spacing = zephor_test::under_address_sanitizer() ? "0.2" : "0.12";
    kill_at_random_moments("h2", {"--cube", "homo", "--spacing", spacing, "--margin", "8"}, {"FOR007.mo1.cube"}, 30,
                           false);
}

TEST(ExportKilled, AResultsPageReplacedWithForceIsTheOldOrTheNewPage) {
    // A 570 kB page, mostly the library, written in a moment: many attempts, so that some kills
    // land while it is written and named.
    kill_at_random_moments("water", {"--html", "page.html", "--force"}, {"page.html"}, 30, true);
}
