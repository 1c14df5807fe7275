// An output file of a program. A regular file (or one not there yet) is written to a temporary
// file beside it and renamed over it only once complete, so that a failed or interrupted run, or
// a run beside it, never leaves a mix or loses the previous file; anything else (a device, a
// pipe) is written directly and never removed. Never the program's own input.
#pragma once

#include <filesystem>
#include <streambuf>
#include <string>

#include "common/filebuf.h"

namespace common {

class OutputFile {
 public:
  // `program` names the temporary file, so that a person who finds one sees where it came from.
  OutputFile(std::string path, std::string program);
  ~OutputFile();  // discards what was not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the output for writing unless it is the file at `inputPath` under any name (checked
  // before anything is opened). Returns nullptr with the reason for a diagnostic on failure.
  std::streambuf* open(const std::string& inputPath, std::string& reason);

  // The output is complete: flushes, closes and puts it in place, keeping the permission bits
  // of the file it replaces. False with error() set when any of that fails; nothing is left then.
  bool commit();

  // The run failed: removes the temporary file, or a regular file this run created or
  // truncated when it had to be written directly; a device or a pipe is left alone.
  void discard();

  const std::string& path() const noexcept { return path_; }
  bool opened() const noexcept { return mode_ != Mode::closed; }
  // The errno of the first failure to write, close or rename.
  int error() const noexcept { return error_ ? error_ : buffer_.error(); }

 private:
  enum class Mode { closed, direct, replace };

  std::streambuf* openDirect(bool removable, std::string& reason);
  bool makeTemporary(const std::filesystem::path& target, bool keepMode);
  bool placeTemporary();

  std::string path_, program_;
  FileBuf buffer_;
  Mode mode_ = Mode::closed;
  std::filesystem::path target_;     // the file replaced, or removed on failure when direct
  std::filesystem::path temporary_;  // the file written in its place
  bool removable_ = false;
  int slot_ = -1;
  int error_ = 0;
};

}  // namespace common
