// The whole program, callable in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vorlatic {

// Exit statuses.
inline constexpr int statusConverted = 0;  // warnings allowed
inline constexpr int statusUsage = 1;      // the usage line was printed
inline constexpr int statusFailed = 2;     // an error stopped the run

// Runs the command line `args` (args[0] is the program name): banner and echo go to `console`,
// diagnostics to `errors`. Returns the exit status. Leaves no partial output behind on failure.
int run(const std::vector<std::string>& args, std::ostream& console, std::ostream& errors);

}  // namespace vorlatic
