#include "common/program.h"
#include "run.h"

int main(int argc, char** argv) {
  return common::runProgram("vorlatic", argc, argv, converter::run);
}
