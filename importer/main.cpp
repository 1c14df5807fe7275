#include "common/program.h"
#include "import.h"
#include "progress.h"

int main(int argc, char** argv) {
  return common::runProgram(
      "vorlatic-import", argc, argv,
      [](const std::vector<std::string>& args, std::ostream& out, std::ostream& errors) {
        return importer::run(args, out, errors, importer::errorsAreTerminal());
      });
}
