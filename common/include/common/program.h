// The frame every program's main() shares: arguments, standard streams, interrupts, and running
// out of memory reported rather than aborting.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace common {

using Run = int (*)(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors);

// Opens any of the standard streams that is closed on the null device, installs the interrupt
// handlers, then calls `run` with the arguments (UTF-8 on Windows), a
// console on standard output that remembers why a write failed, and standard error. Running out
// of memory outside `run` ends it with "program: out of memory" and status 2.
int runProgram(std::string_view program, int argc, char** argv, Run run);

// True when standard output or standard error is the regular file at `inputPath`: what the
// program prints would be written into its own input, which it may still be reading. Says so as
// `program: standard output: ...` on whichever of `out` and `errors` is another file (on neither
// when both are the input); the run must then stop with statusFailed before reading anything.
bool consoleIsInput(std::string_view program, const std::string& inputPath, std::ostream& out,
                    std::ostream& errors);

// The errno of the first failed write to `stream`, when it writes to a file through FileBuf;
// EIO for any other stream.
int writeError(const std::ostream& stream);

}  // namespace common
