// The Open Babel formats read in a child process under limits (child_process.hpp): a crash of
// the library, a hang, or a 3D build that runs on, becomes a ContentError of the parent (exit
// status 2, nothing written) instead of the end of zephor-import.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "import/molecule_in.hpp"

namespace zephor::importer {

// What read_with_babel (babel_reader.hpp) gives, read in a child process that may use `seconds`
// of wall-clock time (and as much processor time), and, outside sanitizer builds, 2 GiB of
// address space. The child's ContentError and FileError come back with their texts; otherwise
// "NAME: Open Babel failed on this file (signal 11)", "NAME: Open Babel did not finish within 60 s;
// give a larger --timeout", "NAME: 3D building did not finish within 60 s; give a larger
// --timeout" or "NAME: Open Babel ran out of memory on this file" (ContentError). `name` is as
// the messages show it.
MoleculeIn read_with_babel_in_child(std::string_view text, const std::string& format, const std::string& name,
                                    double seconds);

class ChildServer;

// The same reading for a process that reads molecule after molecule (zephor-import --serve),
// without a fork for each: one long-lived child reads them, under the same address-space limit
// and each within its `seconds`. It gives what read_with_babel_in_child gives, molecule, message
// and all: a molecule that needs 3D building, and anything but a molecule or the refusal of one
// (a crash, an exception of the library, memory running out), is read again by
// read_with_babel_in_child, in a fresh child, whose answer is the one given; a child that did
// not answer within `seconds` is killed, and the reading did not finish. The child is replaced
// after a fault, and after a few thousand molecules, so that what the library keeps between
// molecules cannot grow without bound.
class BabelChild {
public:
    BabelChild();
    ~BabelChild();
    BabelChild(const BabelChild&) = delete;
    BabelChild& operator=(const BabelChild&) = delete;
    MoleculeIn read(std::string_view text, const std::string& format, const std::string& name, double seconds);

private:
    std::unique_ptr<ChildServer> child_;
    int answered_ = 0;  // by child_
};

}  // namespace zephor::importer
