// An output file of a program: never the program's own input, and never left half-written by a
// failed run unless it is something other than a regular file (a device, a pipe).
#pragma once

#include <filesystem>
#include <streambuf>
#include <string>

#include "common/filebuf.h"

namespace common {

class OutputFile {
 public:
  explicit OutputFile(std::string path) : path_(std::move(path)) {}

  // Opens the output for writing, creating or truncating it; refuses when it is the file at
  // `inputPath` under any name. Returns nullptr with the reason for a diagnostic on failure.
  std::streambuf* open(const std::string& inputPath, std::string& reason);

  const std::string& path() const noexcept { return path_; }
  bool opened() const noexcept { return opened_; }
  int error() const noexcept { return buffer_.error(); }

  // Flushes and closes; false with error() set when that or an earlier write failed.
  bool close() { return buffer_.close(); }

  // Removes what a failed run wrote, when the output is a regular file this run opened.
  void discard();

 private:
  std::string path_;
  FileBuf buffer_;
  bool opened_ = false;
  std::filesystem::path removable_;
};

}  // namespace common
