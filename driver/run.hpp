// The whole run of the program, step by step, in the working directory: FOR005 in, FOR006 and
// FOR007 out. Early ends travel as the exceptions of driver/errors.hpp.
#pragma once

namespace zephor {

void run();

}  // namespace zephor
