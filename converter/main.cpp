#include <iostream>
#include <string>
#include <vector>

#include "run.h"

int main(int argc, char** argv) {
  // The echo is gathered into large writes already; C stdio need not see it.
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv, argv + argc);
  return converter::run(args, std::cout, std::cerr);
}
