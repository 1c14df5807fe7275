#include "common/output.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
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
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace common {
namespace {

// Temporary names: this prefix, then this many letters and digits, as mkstemp makes them. Short
// and fixed, so that a temporary fits wherever its output's name does.
constexpr const char* temporaryPrefix = ".vorlatic-";
constexpr int temporaryLetters = 6;
// Names tried before giving up: each try fails only when a file of that name exists already.
constexpr int temporaryTries = 100;

std::string temporaryName() {
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::atomic<std::uint64_t> counter{0};
  // splitmix64 over the clock, the process and a counter: unpredictable enough that names made
  // by runs side by side rarely meet, and a meeting only costs another try.
  std::uint64_t x = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (std::uint64_t(reinterpret_cast<std::uintptr_t>(&counter)) << 16) ^
                    (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
#ifdef _WIN32
  x ^= std::uint64_t(GetCurrentProcessId()) << 40;
#else
  x ^= std::uint64_t(getpid()) << 40;
#endif
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  x ^= x >> 31;
  std::string name = temporaryPrefix;
  for (int i = 0; i < temporaryLetters; ++i, x /= 62) name += letters[x % 62];
  return name;
}

std::string cannotCreate(int error) { return "cannot create: " + systemReason(error); }

std::string sameAsInput(const std::string& inputPath) {
  return "is the same file as the input " + inputPath + "; not overwriting it";
}

}  // namespace

#ifndef _WIN32
namespace {

// Links followed at most to find the file a path names, as the system itself stops.
constexpr int maxLinks = 40;

// Times a path is opened and found again before a file that keeps being replaced under it is
// refused: runs beside each other replace it once each.
constexpr int openTries = 16;

// The piece copied at a time when a result is copied onto its output.
constexpr std::size_t copyPiece = std::size_t{1} << 20;

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A folder opened only to name files in it: no right to read it is needed, as for creating. It
// is opened as "folder/.", so that a link naming it is followed as the middle of a path, as the
// shell's `>` follows it, where the protection of links in sticky folders does not apply.
int openFolder(int at, const std::string& path) {
  const std::string inside = path + "/.";
#ifdef O_PATH
  return ::openat(at, inside.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
  return ::openat(at, inside.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

// A path as its folder ("." when it has none) and its last part.
void split(const std::string& path, std::string& folder, std::string& name) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
    name = path;
  } else {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

std::string readLink(int folder, const std::string& name) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t got = ::readlinkat(folder, name.c_str(), target.data(), target.size());
    if (got < 0) return {};
    if (std::size_t(got) < target.size()) {
      target.resize(std::size_t(got));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

// The folder and the name of what `path` leads to, following the links of its last part. Every
// folder is opened relative to the one before, so that no path longer than the user's is made.
// False with errno set when a folder cannot be opened.
bool locate(const std::string& path, int& folder, std::string& name) {
  std::string part;
  split(path, part, name);
  int at = openFolder(AT_FDCWD, part);
  if (at < 0) return false;
  for (int hops = 0; hops < maxLinks; ++hops) {
    struct stat link {};
    if (::fstatat(at, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
      break;
    const std::string target = readLink(at, name);
    if (target.empty()) break;
    split(target, part, name);
    const int next = openFolder(at, part);  // an absolute target ignores `at`
    ::close(at);
    if (next < 0) return false;
    at = next;
  }
  folder = at;
  return true;
}

bool danglingLink(const std::string& path) {
  struct stat link {};
  return ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
}

// A new file named in `folder`, held for removal from the moment it exists; -1 with errno set.
int createTemporary(int folder, mode_t mode, std::string& name, int& slot) {
  for (int attempt = 0; attempt < temporaryTries; ++attempt) {
    name = temporaryName();
    interrupts::Blocked blocked;
    slot = interrupts::hold(folder, name);
    if (slot < 0) {
      errno = EMFILE;  // a file that a signal could leave behind is not made
      return -1;
    }
    const int fd =
        ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    const int error = errno;
    interrupts::release(slot);
    slot = -1;
    if (error != EEXIST) {
      errno = error;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

// A replacement must be the file it replaces in all but its bytes. False when the owner or the
// group cannot be kept (a file of another user, which this one may write). The set-ID bits come
// only once it is written (keepSetId): a write clears them, unless root makes it.
bool keepOwnerAndMode(int fd, const struct stat& original) {
  struct stat made {};
  if (::fstat(fd, &made) != 0) return false;
  if ((made.st_uid != original.st_uid || made.st_gid != original.st_gid) &&
      ::fchown(fd, original.st_uid, original.st_gid) != 0)
    return false;
  ::fchmod(fd, original.st_mode & 01777);
  return true;
}

// The set-ID bits of the file replaced, where the system allows them.
void keepSetId(int fd, const struct stat& original) {
  if ((original.st_mode & 06000) != 0 && ::fchmod(fd, original.st_mode & 07777) != 0)
    ::fchmod(fd, original.st_mode & 01777);
}

// Copies bytes [begin, end) of `from` onto `to` at the same offsets.
bool copyRange(int from, int to, off_t begin, off_t end, char* piece, int& error) {
  for (off_t at = begin; at < end;) {
    const ssize_t got =
        ::pread(from, piece, std::size_t(std::min<off_t>(off_t(copyPiece), end - at)), at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return error = got < 0 ? errno : EIO, false;
    for (ssize_t put = 0; put < got;) {
      const ssize_t n = ::pwrite(to, piece + put, std::size_t(got - put), at + put);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return error = n < 0 ? errno : EIO, false;
      put += n;
    }
    at += got;
  }
  return true;
}

// Copies the whole of `from` onto `to`, which keeps its own owner and mode. Whatever can refuse
// the copy does so before a byte of `to` has changed: the file-size limit is checked, the room
// taken first, and the part past the old end written before the rest (and cut off again if that
// fails, where the room could not be taken). Only a disk that fails in the middle leaves a mix.
bool copyOnto(int from, int to, int& error) {
  struct stat made {
  }, old{};
  if (::fstat(from, &made) != 0 || ::fstat(to, &old) != 0) return error = errno, false;
  const off_t size = made.st_size;
  rlimit fileSize{};
  if (::getrlimit(RLIMIT_FSIZE, &fileSize) == 0 && fileSize.rlim_cur != RLIM_INFINITY &&
      rlim_t(size) > fileSize.rlim_cur)
    return error = EFBIG, false;
#ifdef FALLOC_FL_KEEP_SIZE
  if (size > 0 && ::fallocate(to, FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
      (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
    return error = errno, false;
#endif
  std::unique_ptr<char[]> piece(new (std::nothrow) char[copyPiece]);
  if (!piece) return error = ENOMEM, false;
  if (size > old.st_size && !copyRange(from, to, old.st_size, size, piece.get(), error)) {
    // The old bytes are all still there: their length is put back where it can be.
    if (::ftruncate(to, old.st_size) != 0 && error == 0) error = errno;
    return false;
  }
  if (!copyRange(from, to, 0, std::min(size, old.st_size), piece.get(), error)) return false;
  if (::ftruncate(to, size) != 0) return error = errno, false;
  return true;
}

}  // namespace

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
  void dropTemporary() {
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

  // A file made only to follow a dangling link goes again, if it is still that empty file.
  void dropPlaceholder() {
    if (!placeholder) return;
    struct stat now {};
    if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(now, original) && now.st_size == 0)
      ::unlinkat(folder, name.c_str(), 0);
    interrupts::release(placeholderSlot);
    placeholderSlot = -1;
    placeholder = false;
  }

  void close() {
    closeFd(output);
    closeFd(folder);
    mode = Mode::closed;
  }

  // The result in the system's temporary folder: a file with no name where the system makes
  // one, so that not even SIGKILL leaves it behind.
  bool makeSystemTemporary() {
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
};

std::streambuf* OutputFile::open(const std::string& inputPath, std::string& reason) {
  return open(inputPath, reason, 0);
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
  const auto isInput = [&](const struct stat& other) {
    return haveInput && sameFile(other, input);
  };
  // Before the path is opened at all: opening a pipe or a device may have effects of its own.
  if (::stat(path_.c_str(), &file) == 0 && isInput(file)) {
    reason = sameAsInput(inputPath);
    return nullptr;
  }
  const auto fail = [&](std::string why) -> std::streambuf* {
    reason = std::move(why);
    s.dropPlaceholder();
    s.close();
    return nullptr;
  };

  // The system judges the path as it judges the shell's `>`: permissions, link protections in
  // sticky folders, link loops. Nothing is truncated.
  int fd = ::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && danglingLink(path_)) {
    // What the link leads to is made, as `>` makes it, and goes again if the run fails.
    interrupts::Blocked blocked;
    fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return fail(cannotCreate(errno));  // where the link leads cannot be made
    {
      s.placeholder = true;
      s.output = fd;
      if (::fstat(fd, &s.original) != 0 || !locate(path_, s.folder, s.name))
        return fail(cannotCreate(errno));
      s.placeholderSlot = interrupts::hold(s.folder, s.name, std::uint64_t(s.original.st_dev),
                                           std::uint64_t(s.original.st_ino));
    }
  }
  if (fd < 0 && errno != ENOENT) return fail(cannotCreate(errno));

  if (fd >= 0 && !s.placeholder) {
    s.output = fd;
    if (::fstat(fd, &file) != 0) return fail(cannotCreate(errno));
    if (isInput(file)) return fail(sameAsInput(inputPath));
    struct stat console {};
    const bool isConsole = ::fstat(STDOUT_FILENO, &console) == 0 && S_ISREG(console.st_mode) &&
                           sameFile(console, file);
    if (isConsole || !S_ISREG(file.st_mode)) {
      // Standard output is written through its own descriptor, appending where it appends; a
      // device or a pipe as it was opened.
      if (isConsole) {
        closeFd(s.output);
        s.output = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        if (s.output < 0) return fail(cannotCreate(errno));
      }
      std::FILE* stream = ::fdopen(s.output, "wb");
      if (!stream) return fail(cannotCreate(errno));
      s.output = -1;  // the stream has it now
      buffer_.adopt(stream, true);
      s.mode = State::Mode::direct;
      return &buffer_;
    }
    s.original = file;
    s.existed = true;
    struct stat named {};
    if (!locate(path_, s.folder, s.name)) return fail(cannotCreate(errno));
    if (::fstatat(s.folder, s.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameFile(named, file)) {
      // Replaced in between, by a run beside this one or by a hand that swapped a link: what
      // the system judged is not what would be replaced. Judged again, a few times.
      if (attempt + 1 < openTries) {
        s.close();
        *state_ = State();
        return open(inputPath, reason, attempt + 1);
      }
      return fail("cannot create: it was replaced while it was being opened");
    }
  } else if (fd < 0) {
    // Nothing there yet: made under the name given.
    std::string folder;
    split(path_, folder, s.name);
    s.folder = openFolder(AT_FDCWD, folder);
    if (s.folder < 0) return fail(cannotCreate(errno));
  }

  // Beside it first, so that the result takes its place in one rename.
  s.temporaryFolder = s.folder;
  s.temporary =
      createTemporary(s.folder, s.existed ? 0600 : 0666, s.temporaryName, s.temporarySlot);
  int besideError = errno;
  if (s.temporary >= 0 && s.existed && !keepOwnerAndMode(s.temporary, s.original)) {
    besideError = EPERM;
    s.dropTemporary();
  }
  if (s.temporary >= 0) {
    s.mode = State::Mode::replace;
  } else {
    // Nowhere beside it (a folder this user may not write, no inode left, a file of another
    // owner): made whole elsewhere and copied onto it at the end. Without a file to copy onto,
    // or a place to make the result, the run stops here, before anything has changed.
    if (s.output < 0 || !s.makeSystemTemporary()) {
      s.dropTemporary();
      return fail(cannotCreate(besideError));
    }
    s.mode = State::Mode::copy;
  }
  const int writer = ::fcntl(s.temporary, F_DUPFD_CLOEXEC, 0);
  std::FILE* stream = writer < 0 ? nullptr : ::fdopen(writer, "wb");
  if (!stream) {
    const int error = errno;
    if (writer >= 0) ::close(writer);
    s.dropTemporary();
    return fail(cannotCreate(error));
  }
  buffer_.adopt(stream, true);
  return &buffer_;
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

#else  // _WIN32

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

struct OutputFile::State {
  enum class Mode { closed, direct, replace, copy };
  Mode mode = Mode::closed;
  fs::path target;     // the file replaced, or made
  fs::path temporary;  // the file written in its place
  int slot = -1;
  bool finished = false;
  int error = 0;

  bool makeTemporary(const fs::path& folder, std::FILE*& file) {
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

  void dropTemporary() {
    if (!temporary.empty()) DeleteFileW(temporary.c_str());
    interrupts::release(slot);
    slot = -1;
    temporary.clear();
  }
};

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

#endif

// What both platforms' states have alike.

OutputFile::OutputFile(std::string path) : path_(std::move(path)), state_(new State) {}

// Unconditionally: an open() cut short by an exception holds files before it is opened().
OutputFile::~OutputFile() { discard(); }

bool OutputFile::opened() const noexcept { return state_->mode != State::Mode::closed; }

int OutputFile::error() const noexcept { return state_->error ? state_->error : buffer_.error(); }

bool OutputFile::finish() {
  State& s = *state_;
  if (s.finished || s.mode == State::Mode::closed) return error() == 0;
  s.finished = true;
  return buffer_.close();
}

bool OutputFile::commit() {
  if (!opened()) return error() == 0;
  if (!finish()) {
    discard();
    return false;
  }
  interrupts::blockUntilExit();
  return place();
}

}  // namespace common
