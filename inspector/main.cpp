#include <iostream>
#include <string>
#include <vector>

#include "inspect.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv, argv + argc);
  return inspector::run(args, std::cout, std::cerr);
}
