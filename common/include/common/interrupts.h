// Deadly signals leave nothing behind: the temporary files of unfinished outputs are removed when
// the process is ended by any signal whose default action ends it (Ctrl-C, Ctrl-Break or closing
// the console on Windows), and the process then ends by that same signal, so that its parent
// sees the usual status (130 for Ctrl-C). A signal ignored when the program started stays
// ignored (nohup keeps working); SIGXFSZ is ignored, so that a file-size limit is a failed write
// with its own diagnostic. Only SIGKILL or a power cut can leave a temporary file behind.
#pragma once

#include <cstdint>
#include <string>

namespace common::interrupts {

// Installs the handlers; call once, before any output is opened.
void install();

// Files held at once at most: every temporary file a program keeps at one time, the parts of a
// mesh written in parts included. A slot on Windows holds a whole long path.
#ifdef _WIN32
inline constexpr int slots = 64;
#else
inline constexpr int slots = 1024;
#endif

// Names of held files are at most this long: any name a folder holds.
inline constexpr std::size_t maxName = 255;

#ifndef _WIN32
// Registers `name` in the folder open as `directory` to be removed on a deadly signal; when
// `device` and `inode` are not zero, only if it is still that file and empty. The folder must
// stay open while the name is held. Returns its slot, or -1 when every slot is taken or the name
// is longer than maxName. Block signals across the registration and the file's creation
// (Blocked), so that no moment leaves a file that is not held or a name held for another's file.
int hold(int directory, const std::string& name, std::uint64_t device = 0, std::uint64_t inode = 0);
#else
// Registers the file at `path` to be removed when the console is closed or interrupted.
int hold(const std::wstring& path);
#endif

// The file is no longer temporary (renamed into place) or is gone: forget it.
void release(int slot);

// Holds back the handled signals on this thread while it exists; they arrive when it ends.
class Blocked {
 public:
  Blocked();
  ~Blocked();
  Blocked(const Blocked&) = delete;
  Blocked& operator=(const Blocked&) = delete;

 private:
  std::uint64_t saved_[16];  // the previous signal mask, as sigset_t, which this header hides
};

// From here to the exit, the handled signals wait and are then dropped: an output has been put
// in place, so the run has succeeded whatever arrives now, and its status must say so.
void blockUntilExit();

// In a child process right after fork (with signals Blocked in the parent across the fork): the
// parent's files are not the child's to remove, and the handled signals get their defaults back.
void forgetInChild();

}  // namespace common::interrupts
