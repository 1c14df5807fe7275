#include "common/program.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <ostream>

#include "common/diagnostics.h"
#include "common/filebuf.h"
#include "common/interrupts.h"
#include "common/paths.h"

namespace common {

int runProgram(std::string_view program, int argc, char** argv, Run run) {
  interrupts::install();
  try {
    FileBuf standardOutput, standardError;
    standardOutput.adopt(stdout, false);
    standardError.adopt(stderr, false);
    std::ostream out(&standardOutput), errors(&standardError);
    const int status = run(arguments(argc, argv), out, errors);
    // Whatever a run left unflushed (it flushes before it judges its console) still goes out.
    out.flush();
    errors.flush();
    return status;
  } catch (const std::bad_alloc&) {
    std::fwrite(program.data(), 1, program.size(), stderr);
    std::fputs(": out of memory\n", stderr);
    return statusFailed;
  }
}

int writeError(const std::ostream& stream) {
  const auto* file = dynamic_cast<const FileBuf*>(stream.rdbuf());
  return file && file->error() ? file->error() : EIO;
}

}  // namespace common
