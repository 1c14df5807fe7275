// vorlatic-import: from a model file to a mesh for the device, callable in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace importer {

// Runs the command line `args` (args[0] is the program name): the summary goes to `out`,
// diagnostics to `errors`. Returns 0 when written, 1 after the usage text, 2 on an error, which
// leaves the output path as it was. `errorsOnTerminal`: `errors` is a terminal, where an import
// of more than about a second shows its progress on one line, cleared at the end.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors,
        bool errorsOnTerminal = false);

}  // namespace importer
