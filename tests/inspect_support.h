// What the inspector's tests share: running it in-process, meshes made by the converter, and a
// folder with the paths a run reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "inspect.h"
#include "run.h"
#include "support.h"

namespace inspect_testing {

using Result = testing_support::RunResult;

inline Result inspectWith(const std::vector<std::string>& args) {
  return testing_support::runCaptured(inspector::run, args);
}

inline std::string converted(const std::string& text) {
  std::string bytes;
  std::ostringstream console, errors;
  EXPECT_EQ(converter::convertInMemory(text, bytes, console, errors), 0) << errors.str();
  return bytes;
}

class Inspect : public ::testing::Test {
 protected:
  std::string diagnostic(const std::string& reason) {
    return "vorlatic-inspect: " + file.string() + ": " + reason + "\n";
  }
  testing_support::ScratchDir dir;
  std::filesystem::path file = dir / "mesh.3db";
  std::filesystem::path dump = dir / "mesh.msh";
  std::filesystem::path svg = dir / "mesh.svg";
};

}  // namespace inspect_testing
