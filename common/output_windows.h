// What an output holds on Windows, between open() and commit() or discard().
#pragma once
#ifdef _WIN32

#include <cstdio>
#include <filesystem>

#include "common/output.h"

namespace common {

struct OutputFile::State {
  enum class Mode { closed, direct, replace, copy };
  Mode mode = Mode::closed;
  std::filesystem::path target;     // the file replaced, or made
  std::filesystem::path temporary;  // the file written in its place
  int slot = -1;
  bool finished = false;
  int error = 0;

  bool makeTemporary(const std::filesystem::path& folder, std::FILE*& file);

  void dropTemporary();
};

}  // namespace common

#endif
