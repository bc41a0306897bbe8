// The child reads and builds, then sends the molecule, or its error, back in a small text form:
//
//   building                                  when 3D building starts
//   molecule\ntitle LEN\nBYTES\ncharge N|none\natoms N\nSYMBOL X Y Z\n...   X, Y, Z as %a, exact
//   error STATUS LEN\nBYTES\n                   STATUS 2 for ContentError, 1 for FileError
//
// and the parent turns that, or the way the child ended, into a MoleculeIn or an exception.
#include "import/sandboxed_reader.hpp"

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>

#include "import/babel_reader.hpp"
#include "import/child_process.hpp"
#include "import/errors.hpp"

#ifdef ZEPHOR_IMPORT_TEST_HOOKS
#include <chrono>
#include <memory>
#include <thread>
#include <vector>
#endif

namespace zephor::importer {

namespace {

constexpr std::uint64_t address_space_bytes = std::uint64_t{2} << 30;

std::string record(const std::string& head, const std::string& bytes) {
    return head + " " + std::to_string(bytes.size()) + "\n" + bytes + "\n";
}

std::string hex_real(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

std::string molecule_record(const MoleculeIn& m) {
    std::string out = "molecule\n" + record("title", m.title);
    out += "charge " + (m.charge ? std::to_string(*m.charge) : std::string("none")) + "\n";
    out += "atoms " + std::to_string(m.atoms.size()) + "\n";
    for (const AtomIn& a : m.atoms)
        out += a.symbol + " " + hex_real(a.x) + " " + hex_real(a.y) + " " + hex_real(a.z) + "\n";
    return out;
}

#ifdef ZEPHOR_IMPORT_TEST_HOOKS
// Faults that only a test build (zephor-import-test-hooks) can be asked for, through
// ZEPHOR_IMPORT_TEST_FAULT, to show what the parent makes of a library that misbehaves.
void test_fault(const std::function<void()>& building_starts) {
    const char* fault = std::getenv("ZEPHOR_IMPORT_TEST_FAULT");
    if (fault == nullptr) return;
    const std::string f = fault;
    if (f == "segv") std::raise(SIGSEGV);
    if (f == "abort") std::abort();
    if (f == "sleep")
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    if (f == "spin") {
        building_starts();
        volatile bool busy = true;  // read on every turn, so the loop is not optimised away
        while (busy) {
        }
    }
    if (f == "alloc") {
        // Address space taken 64 MiB at a time until the limit refuses it, one page of each block
        // touched: filling them all would only time the machine's page faults (minutes on some).
        std::vector<std::unique_ptr<char[]>> taken;
        for (;;) {
            taken.emplace_back(new char[std::size_t{64} << 20]);
            *static_cast<volatile char*>(taken.back().get()) = 'x';
        }
    }
    if (f == "chatter") {
        const char noise[] = "libxml: \x1b[31m\xff\xfe raw bytes\n";
        write_all(2, noise);
        write_all(1, noise);
    }
    if (f == "exit") std::_Exit(0);
    if (f == "throw") throw std::length_error("vector\x1b");
}
#endif

// The child's side: the molecule or its error on fd; exit status 0 when that was sent.
int read_in_child(int fd, std::string_view text, const std::string& format, const std::string& name) {
    std::string answer;
    const auto building_starts = [fd] { write_all(fd, "building\n"); };
    try {
#ifdef ZEPHOR_IMPORT_TEST_HOOKS
        test_fault(building_starts);
#endif
        const MoleculeIn m = read_with_babel(text, format, name, building_starts);
        answer = molecule_record(m);
    } catch (const ContentError& e) {
        answer = record("error 2", e.what());
    } catch (const FileError& e) {
        answer = record("error 1", e.what());
    } catch (const std::bad_alloc&) {
        answer = record("error 2", name + ": Open Babel ran out of memory on this file");
    } catch (const std::exception& e) {
        answer = record("error 2", name + ": Open Babel failed on this file (" + shown(e.what()) + ")");
    }
    return write_all(fd, answer) ? 0 : 1;
}

// What the long-lived child answers besides read_in_child's records: "build" for a molecule it
// leaves to a fresh child (its builder's random directions are seeded afresh in each child),
// "again" for one it failed on in another way (it leaves after saying so).
struct NeedsBuilding {};

void serve_in_child(int requests, int answers) {
    for (;;) {
        const auto format = read_counted(requests);
        const auto name = format ? read_counted(requests) : std::nullopt;
        const auto text = name ? read_counted(requests) : std::nullopt;
        if (!text) return;
        std::string answer;
        bool leave = false;
        const auto building_starts = [] { throw NeedsBuilding{}; };
        try {
#ifdef ZEPHOR_IMPORT_TEST_HOOKS
            test_fault(building_starts);
#endif
            answer = molecule_record(read_with_babel(*text, *format, *name, building_starts));
        } catch (const NeedsBuilding&) {
            answer = "build\n";
        } catch (const ContentError& e) {
            answer = record("error 2", e.what());
        } catch (const FileError& e) {
            answer = record("error 1", e.what());
        } catch (...) {
            answer = "again\n";
            leave = true;
        }
        if (!write_all(answers, counted(answer)) || leave) return;
    }
}

// A cursor over the child's answer; every take_ gives nothing on a malformed or cut answer.
struct Answer {
    std::string_view rest;

    std::optional<std::string_view> line() {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view l = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        return l;
    }
    // "HEAD LEN\nBYTES\n"
    std::optional<std::string> counted(std::string_view head) {
        const auto l = line();
        if (!l || l->substr(0, head.size() + 1) != std::string(head) + " ") return std::nullopt;
        const auto n = count_of(l->substr(head.size() + 1));
        if (!n || *n + 1 > rest.size() || rest[*n] != '\n') return std::nullopt;
        std::string bytes(rest.substr(0, *n));
        rest.remove_prefix(*n + 1);
        return bytes;
    }
};

std::optional<MoleculeIn> parse_molecule(Answer& a) {
    MoleculeIn m;
    const auto title = a.counted("title");
    const auto charge = a.line();
    const auto count = a.line();
    if (!title || !charge || !count || charge->substr(0, 7) != "charge " || count->substr(0, 6) != "atoms ")
        return std::nullopt;
    m.title = *title;
    if (*charge != "charge none") m.charge = std::atoi(std::string(charge->substr(7)).c_str());
    const auto n = count_of(count->substr(6));
    if (!n || *n > a.rest.size()) return std::nullopt;
    for (std::size_t i = 0; i < *n; ++i) {
        const auto l = a.line();
        if (!l) return std::nullopt;
        char symbol[16];
        char tail = 0;
        AtomIn atom;
        if (std::sscanf(std::string(*l).c_str(), "%15s %la %la %la%c", symbol, &atom.x, &atom.y, &atom.z, &tail) != 4)
            return std::nullopt;
        atom.symbol = symbol;
        m.atoms.push_back(atom);
    }
    return m;
}

std::string seconds_text(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
}

ChildLimits limits_for(double seconds) {
    ChildLimits limits;
    limits.wall = std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
    limits.cpu_seconds = static_cast<std::uint64_t>(std::ceil(seconds)) + 1;  // the wall clock comes first
    if (address_space_limit_possible()) limits.address_space = address_space_bytes;
    return limits;
}

std::string not_finished(const std::string& name, bool building, double seconds) {
    return name + (building ? ": 3D building did not finish within " : ": Open Babel did not finish within ") +
           seconds_text(seconds) + " s; give a larger --timeout";
}

// A whole answer's molecule, or its error thrown; nothing for an answer that is neither.
std::optional<MoleculeIn> outcome(Answer& a) {
    if (a.rest.substr(0, 9) == "molecule\n") {
        a.rest.remove_prefix(9);
        return parse_molecule(a);
    }
    if (a.rest.substr(0, 8) == "error 2 ") {
        if (const auto message = a.counted("error 2")) throw ContentError(*message);
    } else if (a.rest.substr(0, 8) == "error 1 ") {
        if (const auto message = a.counted("error 1")) throw FileError(*message);
    }
    return std::nullopt;
}

// Molecules a long-lived child reads before it is replaced.
constexpr int molecules_per_child = 5000;

}  // namespace

MoleculeIn read_with_babel_in_child(std::string_view text, const std::string& format, const std::string& name,
                                    double seconds) {
    const ChildLimits limits = limits_for(seconds);
    const ChildEnd end = run_in_child([&](int fd) { return read_in_child(fd, text, format, name); }, limits);

    Answer a{end.output};
    bool building = false;
    while (a.rest.substr(0, 9) == "building\n") {
        building = true;
        a.rest.remove_prefix(9);
    }
    if (auto m = outcome(a)) return *m;
    // No whole answer: the way the child ended says why.
    switch (end.how) {
    case ChildEnd::How::timed_out:
        throw ContentError(not_finished(name, building, seconds));
    case ChildEnd::How::signalled:
        throw ContentError(name + ": Open Babel failed on this file (signal " + std::to_string(end.signal) + ")");
    case ChildEnd::How::too_much_output:
        throw ContentError(name + ": Open Babel failed on this file (an answer of more than " +
                           std::to_string(limits.most_output >> 20) + " MiB)");
    case ChildEnd::How::exited:
        break;
    }
    throw ContentError(name + ": Open Babel failed on this file (exit status " + std::to_string(end.exit_status) + ")");
}

BabelChild::BabelChild() = default;
BabelChild::~BabelChild() = default;

MoleculeIn BabelChild::read(std::string_view text, const std::string& format, const std::string& name,
                            double seconds) {
    if (child_ && answered_ >= molecules_per_child) child_.reset();
    if (!child_) {
        ChildLimits limits = limits_for(seconds);
        limits.cpu_seconds = 0;
        child_ = std::make_unique<ChildServer>(serve_in_child, limits);
        answered_ = 0;
    }
    std::string answer;
    switch (child_->ask(counted(format) + counted(name) + counted(std::string(text)), limits_for(seconds).wall, answer)) {
    case ChildServer::Outcome::timed_out:
        child_.reset();
        throw ContentError(not_finished(name, false, seconds));  // it never builds
    case ChildServer::Outcome::ended:
        child_.reset();
        return read_with_babel_in_child(text, format, name, seconds);
    case ChildServer::Outcome::answered:
        break;
    }
    ++answered_;
    Answer a{answer};
    if (auto m = outcome(a)) return *m;
    if (answer != "build\n") child_.reset();  // "again", or an answer it should not give
    return read_with_babel_in_child(text, format, name, seconds);
}

}  // namespace zephor::importer
