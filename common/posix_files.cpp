#ifndef _WIN32
#include "posix_files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

#include "common/interrupts.h"
#include "output_names.h"

namespace common::detail {

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

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace common::detail

#endif
