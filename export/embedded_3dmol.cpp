// 3Dmol.js, built into zephor-export: the assembler copies the file given at build time
// (ZEPHOR_3DMOL_JS, the copy npm installs in export/page) into read-only data, so the program
// carries the one version its page was tested with and reads no file when it writes a page.
#include <cstddef>
#include <string>

#include "export/results_page.hpp"


extern "C" const char zephor_3dmol_js_begin[];
extern "C" const char zephor_3dmol_js_end[];

asm(".pushsection .rodata.zephor_3dmol_js, \"a\"\n"
    ".global zephor_3dmol_js_begin\n"
    "zephor_3dmol_js_begin:\n"
    ".incbin \"" ZEPHOR_3DMOL_JS "\"\n"
    ".global zephor_3dmol_js_end\n"
    "zephor_3dmol_js_end:\n"
    ".byte 0\n"
    ".popsection\n");

namespace zephor::exporter {

std::string read_3dmol_library() {
    return std::string(zephor_3dmol_js_begin, static_cast<std::size_t>(zephor_3dmol_js_end - zephor_3dmol_js_begin));
}

}  // namespace zephor::exporter
