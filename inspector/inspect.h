// vorlatic-inspect: reads a 3DB file back, checks it, summarises it, and can write it out again
// as mesh text or draw it as an SVG preview.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace inspector {

inline constexpr std::string_view usage =
    "usage: vorlatic-inspect FILE.3db [--json] [--dump OUT.msh] [--svg OUT.svg]\n";

// Runs the command line `args` (args[0] is the program name): the summary goes to `out`,
// diagnostics to `errors`. Returns 0 for a sound file, 1 after the usage line, 2 for a file that
// is invalid or cannot be read, or an output that cannot be written.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors);

}  // namespace inspector
