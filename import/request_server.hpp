// zephor-import --serve: many imports in one process, for a batch that imports thousands of
// molecules. Each request is the argument list, standard input and folder of one zephor-import
// run; it runs here, on standard descriptors and a folder of its own, and reads, writes, fails
// and ends with the status it would have alone, while Open Babel's plugins are loaded once,
// before the first (each Open Babel reading is a child process of its own, as in a single run).
//
// A request on standard input: request_reader.hpp.
// Its answer on standard output: <exit status> <length>\n<what the run wrote to standard error>
// (-1 and nothing: a run that cannot be run here as a process would run it, a folder it cannot
// enter or an exception the program does not catch; the batch then starts the program). At the
// end of standard input the server exits 0; on a malformed request, 1 with a message.
#pragma once

#include <functional>
#include <vector>

namespace zephor::importer {

// Serves requests from the descriptor in_fd to out_fd until the end of in_fd; run(argv) is one
// run's main (argv[0] the program's name, a null pointer last), called in this process. Returns the
// server's exit status; throws FileError on a malformed request or a descriptor it cannot set.
int serve_requests(int in_fd, int out_fd, const std::function<int(std::vector<char*>&)>& run);

}  // namespace zephor::importer
