// The inspector's command line.
#pragma once

#include <string>
#include <vector>

#include "picture.h"

namespace inspector {

struct Arguments {
  std::string file, dump, svg, png;
  bool json = false, help = false;
  PictureSize size;
  View view = View::iso;
};

// Reads the command line (args[0] is the program name); false for a usage error, with the option
// or name it concerns and the reason, both empty when the command line is simply not of the
// usage's shape. With --help, everything else may be missing.
bool parseArguments(const std::vector<std::string>& args, Arguments& parsed, std::string& what,
                    std::string& reason);

}  // namespace inspector
