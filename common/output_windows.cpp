#ifdef _WIN32
#include "output_windows.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "common/interrupts.h"
#include "common/paths.h"
#include "output_names.h"

namespace common {

using namespace detail;

namespace {

namespace fs = std::filesystem;

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
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return ENOENT;
    default:
      return EIO;
  }
}

// Paths past MAX_PATH reach the system only in their extended form, which takes a whole path
// with backslashes only.
fs::path longForm(const fs::path& path) {
  std::wstring text = path.wstring();
  if (text.rfind(L"\\\\", 0) == 0) return path;
  wchar_t small[MAX_PATH];
  DWORD size = GetFullPathNameW(text.c_str(), MAX_PATH, small, nullptr);
  if (size == 0) return path;
  std::wstring full;
  if (size < MAX_PATH) {
    full = small;
  } else {
    full.resize(size);
    size = GetFullPathNameW(text.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size()) return path;
    full.resize(size);
  }
  if (full.size() < MAX_PATH - 12) return fs::path(full);
  return fs::path(L"\\\\?\\" + full);
}

// Where a symbolic link given as output leads: the link stays, what it points to is replaced.
fs::path realTarget(const fs::path& output) {
  std::error_code ec;
  fs::path path = output;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
    fs::path next = fs::read_symlink(path, ec);
    if (ec) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

// A new file, opened for writing, that no other file can be; the interrupt handler may delete
// it while it is open. Null with `error` set when it cannot be made.
std::FILE* createExclusive(const fs::path& path, int& slot, int& error) {
  slot = interrupts::hold(path.wstring());
  HANDLE handle =
      CreateFileW(path.c_str(), GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    interrupts::release(slot);
    slot = -1;
    error = code == ERROR_FILE_EXISTS ? EEXIST : systemError(code);
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    DeleteFileW(path.c_str());
    interrupts::release(slot);
    slot = -1;
    error = EIO;
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (!file) _close(fd);
  return file;
}

}  // namespace

bool OutputFile::State::makeTemporary(const fs::path& folder, std::FILE*& file) {
  for (int attempt = 0; attempt < temporaryTries; ++attempt) {
    // Named before it exists: nothing that can throw comes between making it and holding it.
    temporary = longForm(folder / pathOf(temporaryName()));
    file = createExclusive(temporary, slot, error);
    if (file) {
      error = 0;
      return true;
    }
    temporary.clear();
    if (error != EEXIST) return false;
  }
  return false;
}

void OutputFile::State::dropTemporary() {
  if (!temporary.empty()) DeleteFileW(temporary.c_str());
  interrupts::release(slot);
  slot = -1;
  temporary.clear();
}

std::streambuf* OutputFile::open(const std::string& inputPath, std::string& reason) {
  State& s = *state_;
  if (path_.empty()) {
    reason = std::string("cannot create: ") + emptyPathReason;
    return nullptr;
  }
  std::error_code ec;
  const fs::path output = pathOf(path_);
  if (fs::equivalent(pathOf(inputPath), output, ec)) {
    reason = sameAsInput(inputPath);
    return nullptr;
  }
  const fs::file_status status = fs::status(output, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    if (!buffer_.open(path_, "wb")) {
      reason = cannotCreate(buffer_.error());
      return nullptr;
    }
    s.mode = State::Mode::direct;
    return &buffer_;
  }
  const fs::path target = realTarget(output);
  s.target = longForm(target);
  // A read-only file refuses to be written, as it refuses the shell's `>`.
  const DWORD attributes = GetFileAttributesW(s.target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    reason = cannotCreate(EACCES);
    return nullptr;
  }
  std::FILE* file = nullptr;
  if (s.makeTemporary(target.parent_path(), file)) {
    s.mode = State::Mode::replace;
  } else {
    const int besideError = s.error;
    if (!fs::exists(status) || !s.makeTemporary(fs::temp_directory_path(ec), file)) {
      reason = cannotCreate(besideError);
      s.error = 0;
      return nullptr;
    }
    s.mode = State::Mode::copy;
  }
  buffer_.adopt(file, true);
  return &buffer_;
}

bool OutputFile::place() {
  State& s = *state_;
  bool placed = true;
  if (s.mode == State::Mode::replace &&
      MoveFileExW(s.temporary.c_str(), s.target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    interrupts::release(s.slot);
    s.slot = -1;
    s.temporary.clear();
  } else if (s.mode != State::Mode::direct &&
             !CopyFileW(s.temporary.c_str(), s.target.c_str(), FALSE)) {
    s.error = systemError(GetLastError());
    placed = false;
  }
  s.dropTemporary();
  s.mode = State::Mode::closed;
  return placed;
}

void OutputFile::discard() {
  buffer_.close();  // Windows removes no file that is still open
  state_->dropTemporary();
  state_->mode = State::Mode::closed;
}

}  // namespace common

#endif
