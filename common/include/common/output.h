// An output file of a program, replaced only by a complete result. The path is first opened
// through the system for writing, without truncating, so that permissions, link protections and
// link loops are judged exactly as for the shell's `>`. A regular file is then written to a
// temporary file beside it (a short name, `.vorlatic-XXXXXX`) and renamed over what the path
// names, keeping its owner, group and mode; where no temporary can be made beside it, or the
// rename is refused (a sticky folder), the result is made whole in the system's temporary folder
// and copied onto the file only once complete. Devices, pipes and standard output itself are
// written directly and never removed. Never the program's own input.
#pragma once

#include <memory>
#include <streambuf>
#include <string>

#include "common/filebuf.h"

namespace common {

class OutputFile {
 public:
  explicit OutputFile(std::string path);
  ~OutputFile();  // discards what was not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the output for writing unless it is the file at `inputPath` under any name. Nothing
  // that the path names is changed yet. Returns nullptr with the reason for a diagnostic.
  std::streambuf* open(const std::string& inputPath, std::string& reason);

  // Everything is written: flushes and closes the result, which is where a full disk shows.
  // False with error() set, after which only discard() is left.
  bool finish();

  // Puts the finished result in place. Holds back the handled signals (on Windows, Ctrl-C)
  // until the exit first: from here on the run has succeeded unless this fails. False with
  // error() set when it fails; the path then names what it named before, but where a disk fails
  // in the middle of a final copy. Calls finish() if it was not called.
  bool commit();

  // The run failed: removes the temporary files; what the path names is left as it was.
  void discard();

  const std::string& path() const noexcept { return path_; }
  bool opened() const noexcept;
  // The errno of the first failure to write, close or put in place.
  int error() const noexcept;

  struct State;

 private:
  std::streambuf* open(const std::string& inputPath, std::string& reason, int attempt);
  // The finished result put in place, the platform's way; false with error() set.
  bool place();

  std::string path_;
  FileBuf buffer_;
  std::unique_ptr<State> state_;
};

// The reason for a diagnostic when a path is empty.
inline constexpr const char* emptyPathReason = "the path is empty";

}  // namespace common
