#include "common/output.h"

#include <cerrno>
#include <system_error>

#include "common/diagnostics.h"
#include "common/interrupts.h"
#include "common/paths.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace common {
namespace {

namespace fs = std::filesystem;

// Where a symbolic link given as output leads, followed to its end even when that end does not
// exist yet: the link stays, and what it points to is replaced.
fs::path realTarget(const fs::path& output) {
  std::error_code ec;
  if (fs::exists(output, ec)) {
    fs::path real = fs::canonical(output, ec);
    return ec ? output : real;
  }
  fs::path path = output;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
    fs::path next = fs::read_symlink(path, ec);
    if (ec) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

#ifdef _WIN32
int systemError(DWORD code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

// A new file, opened for writing, that no other file can be; the interrupt handler may delete
// it while it is open. Null when it exists already (`exists` set) or cannot be made.
std::FILE* createExclusive(const fs::path& path, bool& exists) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    exists = GetLastError() == ERROR_FILE_EXISTS;
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (!file) _close(fd);
  return file;
}

bool replaceFile(const fs::path& from, const fs::path& to, int& error) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  error = systemError(GetLastError());
  return false;
}

bool writable(const fs::path&) { return true; }  // a read-only file fails at the rename
#else
std::FILE* createExclusive(const fs::path& path, bool& exists) {
  // 0666 less the umask, as a plain create gives; a replaced file's own bits are put back below.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    exists = errno == EEXIST;
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "wb");
  if (!file) ::close(fd);
  return file;
}

bool replaceFile(const fs::path& from, const fs::path& to, int& error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  error = errno ? errno : EIO;
  return false;
}

// A plain create of an existing file that this user may not write fails; so does this program.
bool writable(const fs::path& path) { return ::access(path.c_str(), W_OK) == 0; }
#endif

}  // namespace

OutputFile::OutputFile(std::string path, std::string program)
    : path_(std::move(path)), program_(std::move(program)) {}

OutputFile::~OutputFile() {
  if (mode_ != Mode::closed) discard();
}

std::streambuf* OutputFile::open(const std::string& inputPath, std::string& reason) {
  std::error_code ec;
  const fs::path output = pathOf(path_);
  // Checked before anything is opened: opening would truncate the input itself.
  if (fs::equivalent(pathOf(inputPath), output, ec)) {
    reason = "is the same file as the input " + inputPath + "; not overwriting it";
    return nullptr;
  }
  const fs::file_status status = fs::status(output, ec);
  const bool exists = fs::exists(status);
  if (exists && !fs::is_regular_file(status)) return openDirect(false, reason);
  target_ = realTarget(output);
  if ((!exists || writable(target_)) && makeTemporary(target_, exists)) {
    mode_ = Mode::replace;
    return &buffer_;
  }
  // No temporary file can be made beside it (a folder this user may not write, say): the file
  // itself is written, and removed again if the run fails.
  return openDirect(true, reason);
}

std::streambuf* OutputFile::openDirect(bool removable, std::string& reason) {
  if (!buffer_.open(path_, "wb")) {
    reason = "cannot create: " + systemReason(buffer_.error());
    return nullptr;
  }
  mode_ = Mode::direct;
  std::error_code ec;
  fs::path real = fs::canonical(pathOf(path_), ec);
  removable_ = removable && !ec && fs::is_regular_file(real, ec);
  if (removable_) target_ = real;
  return &buffer_;
}

bool OutputFile::makeTemporary(const fs::path& target, [[maybe_unused]] bool keepMode) {
#ifdef _WIN32
  const std::string pid = std::to_string(GetCurrentProcessId());
#else
  const std::string pid = std::to_string(getpid());
#endif
  const std::string stem = nameOf(target.filename()) + '.' + program_ + '-' + pid;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = target.parent_path() /
                         pathOf(stem + (attempt ? '-' + std::to_string(attempt) : "") + ".tmp");
    bool exists = false;
    std::FILE* file = createExclusive(candidate, exists);
    if (!file) {
      if (exists) continue;
      return false;
    }
    temporary_ = candidate;
    slot_ = interrupts::hold(nameOf(candidate));
#ifndef _WIN32
    struct stat before {};
    if (keepMode && ::stat(target.c_str(), &before) == 0)
      ::fchmod(fileno(file), before.st_mode & 07777);
#endif
    buffer_.adopt(file, true);
    return true;
  }
  return false;
}

bool OutputFile::placeTemporary() {
  std::error_code ec;
  bool placed = replaceFile(temporary_, target_, error_);
  if (!placed) fs::remove(temporary_, ec);
  interrupts::release(slot_);
  slot_ = -1;
  return placed;
}

bool OutputFile::commit() {
  const Mode mode = mode_;
  if (mode == Mode::closed) return error() == 0;
  if (!buffer_.close()) {
    discard();
    return false;
  }
  mode_ = Mode::closed;
  return mode == Mode::direct || placeTemporary();
}

void OutputFile::discard() {
  buffer_.close();  // Windows removes no file that is still open
  std::error_code ec;
  if (mode_ == Mode::replace) {
    fs::remove(temporary_, ec);
    interrupts::release(slot_);
    slot_ = -1;
  } else if (mode_ == Mode::direct && removable_) {
    fs::remove(target_, ec);
  }
  mode_ = Mode::closed;
}

}  // namespace common
