// The molecule's title from the FOR005 beside a checkpoint, read as zephor reads it.
#pragma once

#include <string>

namespace zephor::exporter {

// The first value of the file as zephor's sizing pass reads it (quoted text, or the first word),
// trailing blanks removed; "" when the file is missing or its title cannot be read.
std::string for005_title(const std::string& path);

}  // namespace zephor::exporter
