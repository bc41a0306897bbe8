// The files a fuzz target's in-process run leaves in its scratch folder, read back whole.
#pragma once

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace zephor_fuzz {

// The whole content of `name`, or nothing when it cannot be opened (the run did not write it).
inline std::optional<std::string> slurp(const char* name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace zephor_fuzz
