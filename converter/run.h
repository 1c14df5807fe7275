// vorlatic: the whole program, callable in-process.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/diagnostics.h"
#include "common/output.h"
#include "engine.h"

namespace converter {

// Runs the command line `args` (args[0] is the program name): banner and echo go to `console`,
// diagnostics to `errors`. Returns the exit status. Leaves no partial output behind on failure.
int run(const std::vector<std::string>& args, std::ostream& console, std::ostream& errors);

// What a run knows besides the outcome of its conversion, for its diagnostics.
struct Ending {
  std::string_view input;  // names for the diagnostics
  std::string_view output;
  std::string_view refusal;  // why the output could not be opened
  int readError = 0;         // errno of a failed read, 0 when none failed
  int writeError = 0;        // errno of a failed write, 0 when none failed
  int consoleError = 0;      // errno of a failed write to the console, 0 when none failed
};

// Writes the diagnostics and warnings that `outcome` and `ending` call for and returns the exit
// status. With an output file, discards it on failure, and else finishes it, writes the warnings
// and only then puts it in place (a failure to finish or place it fails the run).
int conclude(const Outcome& outcome, const Ending& ending, common::Diagnostics& diagnostics,
             common::OutputFile* output = nullptr);

// The conversion from memory to memory, as `run` does it from a file to a file (banner and
// arguments aside): the 3DB bytes in `bytes`, echo and diagnostics on the two streams. Returns
// the exit status.
int convertInMemory(std::string_view text, std::string& bytes, std::ostream& console,
                    std::ostream& errors, const ConvertOptions& options = {});

}  // namespace converter
