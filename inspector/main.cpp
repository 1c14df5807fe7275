#include "common/program.h"
#include "inspect.h"

int main(int argc, char** argv) {
  return common::runProgram("vorlatic-inspect", argc, argv, inspector::run);
}
