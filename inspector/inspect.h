// vorlatic-inspect: reads a 3DB file back, checks it, summarises it, and can write it out again
// as mesh text, draw it as an SVG preview, or draw it as the device does into a PNG.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace inspector {

// The usage lines, printed after a usage error; they say so when this build cannot draw --png.
std::string usage();

// The usage and what each option does, for --help.
std::string help();

// Runs the command line `args` (args[0] is the program name): the summary goes to `out`,
// diagnostics to `errors`. Returns 0 for a sound file or after --help, 1 after the usage, 2 for a
// file that is invalid or cannot be read, or an output that cannot be written.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors);

}  // namespace inspector
