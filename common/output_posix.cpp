#ifndef _WIN32
#include "output_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "common/interrupts.h"
#include "output_names.h"
#include "posix_files.h"

namespace common {

using namespace detail;

void OutputFile::State::dropTemporary() {
  if (temporary >= 0 && !temporaryName.empty())
    ::unlinkat(temporaryFolder, temporaryName.c_str(), 0);
  interrupts::release(temporarySlot);
  temporarySlot = -1;
  temporaryName.clear();
  closeFd(temporary);
  if (ownsTemporaryFolder) closeFd(temporaryFolder);
  temporaryFolder = -1;
  ownsTemporaryFolder = false;
}

void OutputFile::State::dropPlaceholder() {
  if (!placeholder) return;
  struct stat now {};
  if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, original) &&
      now.st_size == 0)
    ::unlinkat(folder, name.c_str(), 0);
  interrupts::release(placeholderSlot);
  placeholderSlot = -1;
  placeholder = false;
}

void OutputFile::State::close() {
  closeFd(output);
  closeFd(folder);
  mode = Mode::closed;
}

bool OutputFile::State::makeSystemTemporary() {
  const char* where = std::getenv("TMPDIR");
  if (!where || !*where) where = "/tmp";
#ifdef O_TMPFILE
  temporary = ::open(where, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (temporary >= 0) return true;
#endif
  temporaryFolder = openFolder(AT_FDCWD, where);
  if (temporaryFolder < 0) return false;
  ownsTemporaryFolder = true;
  temporary = createTemporary(temporaryFolder, 0600, temporaryName, temporarySlot);
  return temporary >= 0;
}

std::streambuf* OutputFile::open(const std::string& inputPath, std::string& reason) {
  return open(inputPath, reason, 0);
}

// The system judges the path as it judges the shell's `>`: permissions, link protections in
// sticky folders, link loops.
int OutputFile::State::openAsShell(const std::string& path, std::string& why) {
  int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && danglingLink(path)) {
    // What the link leads to is made, as `>` makes it, and goes again if the run fails.
    interrupts::Blocked blocked;
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return why = cannotCreate(errno), -1;  // where the link leads cannot be made
    placeholder = true;
    output = fd;
    if (::fstat(fd, &original) != 0 || !locate(path, folder, name))
      return why = cannotCreate(errno), -1;
    placeholderSlot = interrupts::hold(folder, name, std::uint64_t(original.st_dev),
                                       std::uint64_t(original.st_ino));
  }
  if (fd < 0 && errno != ENOENT) why = cannotCreate(errno);
  return fd;
}

OutputFile::State::Judged OutputFile::State::judge(int fd, const std::string& path,
                                                   const struct stat* input,
                                                   const std::string& inputPath, std::string& why) {
  output = fd;
  struct stat file {};
  if (::fstat(fd, &file) != 0) return why = cannotCreate(errno), Judged::failed;
  if (input && sameFile(file, *input)) return why = sameAsInput(inputPath), Judged::failed;
  struct stat console {};
  const bool isConsole =
      ::fstat(STDOUT_FILENO, &console) == 0 && S_ISREG(console.st_mode) && sameFile(console, file);
  if (isConsole) {
    // Standard output is written through its own descriptor, appending where it appends.
    closeFd(output);
    output = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (output < 0) return why = cannotCreate(errno), Judged::failed;
  }
  if (isConsole || !S_ISREG(file.st_mode)) return Judged::direct;
  original = file;
  existed = true;
  struct stat named {};
  if (!locate(path, folder, name)) return why = cannotCreate(errno), Judged::failed;
  // Replaced in between, by a run beside this one or by a hand that swapped a link: what the
  // system judged is not what would be replaced.
  if (::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(named, file))
    return Judged::again;
  return Judged::replace;
}

bool OutputFile::State::findFolder(const std::string& path, std::string& why) {
  std::string part;
  split(path, part, name);
  folder = openFolder(AT_FDCWD, part);
  if (folder < 0) why = cannotCreate(errno);
  return folder >= 0;
}

bool OutputFile::State::makeTemporary(std::string& why) {
  // Beside it first, so that the result takes its place in one rename.
  temporaryFolder = folder;
  temporary = createTemporary(folder, existed ? 0600 : 0666, temporaryName, temporarySlot);
  int besideError = errno;
  if (temporary >= 0 && existed && !keepOwnerAndMode(temporary, original)) {
    besideError = EPERM;
    dropTemporary();
  }
  if (temporary >= 0) {
    mode = Mode::replace;
    return true;
  }
  // Nowhere beside it (a folder this user may not write, no inode left, a file of another
  // owner): made whole elsewhere and copied onto it at the end. Without a file to copy onto, or
  // a place to make the result, the run stops here, before anything has changed.
  if (output < 0 || !makeSystemTemporary()) {
    dropTemporary();
    why = cannotCreate(besideError);
    return false;
  }
  mode = Mode::copy;
  return true;
}

std::streambuf* OutputFile::open(const std::string& inputPath, std::string& reason, int attempt) {
  State& s = *state_;
  if (path_.empty()) {
    reason = std::string("cannot create: ") + emptyPathReason;
    return nullptr;
  }
  struct stat input {
  }, file{};
  const bool haveInput = !inputPath.empty() && ::stat(inputPath.c_str(), &input) == 0;
  // Before the path is opened at all: opening a pipe or a device may have effects of its own.
  if (haveInput && ::stat(path_.c_str(), &file) == 0 && sameFile(file, input)) {
    reason = sameAsInput(inputPath);
    return nullptr;
  }
  const auto fail = [&](std::string why) -> std::streambuf* {
    reason = std::move(why);
    s.dropPlaceholder();
    s.close();
    return nullptr;
  };
  // The written stream on `fd`, which it then owns; the temporary goes if there is none.
  const auto writeTo = [&](int& fd) -> std::streambuf* {
    std::FILE* stream = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!stream) {
      const int error = errno;
      closeFd(fd);
      s.dropTemporary();
      return fail(cannotCreate(error));
    }
    fd = -1;
    buffer_.adopt(stream, true);
    return &buffer_;
  };
  std::string why;
  const int fd = s.openAsShell(path_, why);
  if (!why.empty()) return fail(why);
  if (fd >= 0 && !s.placeholder) {
    switch (s.judge(fd, path_, haveInput ? &input : nullptr, inputPath, why)) {
      case State::Judged::failed:
        return fail(why);
      case State::Judged::again:  // judged again, a few times
        if (attempt + 1 >= openTries)
          return fail("cannot create: it was replaced while it was being opened");
        s.close();
        *state_ = State();
        return open(inputPath, reason, attempt + 1);
      case State::Judged::direct:  // a device, a pipe or standard output, as it was opened
        s.mode = State::Mode::direct;
        return writeTo(s.output);
      case State::Judged::replace:
        break;
    }
  } else if (fd < 0 && !s.findFolder(path_, why)) {  // nothing there yet: made as named
    return fail(why);
  }
  if (!s.makeTemporary(why)) return fail(why);
  int writer = ::fcntl(s.temporary, F_DUPFD_CLOEXEC, 0);
  return writeTo(writer);
}

bool OutputFile::place() {
  State& s = *state_;
  bool placed = true;
  if (s.mode == State::Mode::replace) {
    if (s.existed) keepSetId(s.temporary, s.original);
    if (::renameat(s.folder, s.temporaryName.c_str(), s.folder, s.name.c_str()) == 0) {
      interrupts::release(s.temporarySlot);
      s.temporarySlot = -1;
      s.temporaryName.clear();
    } else if ((errno == EPERM || errno == EACCES || errno == EBUSY) && s.output >= 0) {
      // A sticky folder refuses to replace another user's file that this one may write: it is
      // written in place, as `>` writes it.
      placed = copyOnto(s.temporary, s.output, s.error);
      if (placed && s.existed) keepSetId(s.output, s.original);
    } else {
      s.error = errno ? errno : EIO;
      placed = false;
    }
  } else if (s.mode == State::Mode::copy) {
    placed = copyOnto(s.temporary, s.output, s.error);
    if (placed && s.existed) keepSetId(s.output, s.original);
  }
  s.dropTemporary();
  if (placed) {
    interrupts::release(s.placeholderSlot);
    s.placeholderSlot = -1;
    s.placeholder = false;
  } else {
    s.dropPlaceholder();
  }
  s.close();
  return placed;
}

void OutputFile::discard() {
  State& s = *state_;
  buffer_.close();
  s.dropTemporary();
  s.dropPlaceholder();
  s.close();
}

}  // namespace common

#endif
