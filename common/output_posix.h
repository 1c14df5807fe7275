// What an output holds on a POSIX system, between open() and commit() or discard().
#pragma once
#ifndef _WIN32

#include <sys/stat.h>

#include <string>

#include "common/output.h"

namespace common {

struct OutputFile::State {
  enum class Mode { closed, direct, replace, copy };
  Mode mode = Mode::closed;
  int output = -1;  // the path as the system opened it; written when direct, else kept to copy onto
  int folder = -1;  // where the file the path names is, or will be
  std::string name;
  struct stat original {};  // the file replaced, when there was one
  bool existed = false;
  int placeholderSlot = -1;  // held while a file made to follow a dangling link may be removed
  bool placeholder = false;  // that file, which a failed run removes
  int temporary = -1;        // where the result is written first
  int temporaryFolder = -1;  // the folder of a named temporary file
  bool ownsTemporaryFolder = false;
  std::string temporaryName;  // empty for a file that has no name
  int temporarySlot = -1;
  bool finished = false;
  int error = 0;

  // Removes the temporary file, if it has a name, and closes it.
  void dropTemporary();

  // A file made only to follow a dangling link goes again, if it is still that empty file.
  void dropPlaceholder();

  void close();

  // The path opened as the shell's `>` opens it, without truncating; a dangling link followed by
  // making what it leads to, which a failed run removes. -1 with `why` empty when nothing is
  // there, with `why` set when the path is refused.
  int openAsShell(const std::string& path, std::string& why);

  // What the path opened as `fd` is: the input, refused; standard output, a device or a pipe,
  // written directly through `output`; else a file to replace, once found again by its name.
  enum class Judged { direct, replace, again, failed };
  Judged judge(int fd, const std::string& path, const struct stat* input,
               const std::string& inputPath, std::string& why);

  // The folder of a path that names nothing yet, where the result is made under its name.
  bool findFolder(const std::string& path, std::string& why);

  // Where the result is written first: beside the output, else in the system's temporary
  // folder to be copied onto it; false with `why` when there is nowhere.
  bool makeTemporary(std::string& why);

  // The result in the system's temporary folder: a file with no name where the system makes
  // one, so that not even SIGKILL leaves it behind.
  bool makeSystemTemporary();
};

}  // namespace common

#endif
