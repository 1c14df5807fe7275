#include "common/program.h"
#include "import.h"

int main(int argc, char** argv) {
  return common::runProgram("vorlatic-import", argc, argv, importer::run);
}
