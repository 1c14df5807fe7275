#include "isolate.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "common/interrupts.h"
#include "reader_protocol.h"
#include "scene.h"

#ifndef _WIN32
#include <fcntl.h>
#ifdef __linux__
#include <sys/mman.h>  // memfd_create
#endif
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace importer {

#ifdef _WIN32
bool readIsolated(const std::string& path, const std::vector<std::string>& meshes,
                  const ReaderLimits&, Model& model, std::string& error, const ReaderHooks& hooks) {
  if (hooks.beforeReading) hooks.beforeReading();
  return readScene(path, meshes, model, error);
}
#else
using namespace reader;

namespace {

// A file in memory that the child writes the model to, where the system has one: a large model
// crosses at the speed of memory, where through the pipe it crossed at a fraction of it. -1
// where there is none; the pipe then carries everything.
int sharedFile() {
#if defined(__linux__) && defined(MFD_CLOEXEC)
  return ::memfd_create("vorlatic-model", MFD_CLOEXEC);
#else
  return -1;
#endif
}

// `atOnce`: the allocation that failed came while the reader's memory was far below its limit.
std::string outOfMemory(const ReaderLimits& limits, bool atOnce) {
  const bool limited = limitAddressSpace && ours(RLIMIT_AS, memoryLimit(limits).rlim_max);
  if (atOnce)
    return "it asked for more memory than its limit" +
           (limited ? " of " + std::to_string(limits.memoryMiB) + " MiB" : std::string()) +
           " at once; the file may be damaged";
  if (limited) return "it ran out of its " + std::to_string(limits.memoryMiB) + " MiB of memory";
  return "it ran out of memory";
}

// Reads what the child sends, up to a deadline: from the pipe, and after a header that says so,
// from the shared file.
class Receiver {
 public:
  Receiver(int fd, int file, pid_t child, std::chrono::steady_clock::time_point deadline)
      : fd_(fd), file_(file), child_(child), deadline_(deadline) {}

  // The rest is in the shared file, whole: the child is done, and is ended at once, so that its
  // copy of the model goes and nothing changes the file while it is read. False where there is
  // no shared file.
  bool fromFile() noexcept {
    if (file_ < 0) return false;
    ::kill(child_, SIGKILL);
    return fromFile_ = true;
  }

  // The most bytes that can follow: what the shared file holds, or through the pipe `pipeLimit`.
  std::uint64_t room(std::uint64_t pipeLimit) const noexcept {
    struct stat held {};
    if (!fromFile_) return pipeLimit;
    return ::fstat(file_, &held) == 0 ? std::uint64_t(held.st_size) : 0;
  }

  bool read(void* data, std::size_t size) {
    // The file is the child's to change until it is gone: what is short is refused.
    if (fromFile_)
      return moveAll(static_cast<char*>(data), size, [&](char* p, std::size_t left) {
        const ssize_t got = ::pread(file_, p, left, offset_);
        if (got > 0) offset_ += got;
        return got;
      });
    return moveAll(static_cast<char*>(data), size, [&](char* p, std::size_t left) -> ssize_t {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline_ - std::chrono::steady_clock::now());
      if (wait.count() <= 0) return late_ = true, 0;
      pollfd ready{fd_, POLLIN, 0};
      const int got = ::poll(&ready, 1, int(wait.count()));
      if (got == 0) return late_ = true, 0;
      return got < 0 ? -1 : ::read(fd_, p, left);
    });
  }
  bool late() const noexcept { return late_; }

 private:
  int fd_, file_;
  pid_t child_;
  std::chrono::steady_clock::time_point deadline_;
  bool late_ = false, fromFile_ = false;
  off_t offset_ = 0;
};

// `pipeLimit`: the most the child could have held, and so sent through the pipe.
bool receive(Receiver& from, std::uint64_t pipeLimit, Model& model, std::string& text, bool& read) {
  Header header;
  if (!from.read(&header, sizeof header) || header.magic != Header().magic ||
      (header.inFile && !from.fromFile()))
    return false;
  if (header.text > maxText || header.positions % 3 != 0 || header.indices % 3 != 0 ||
      (header.colours != 0 && header.colours != header.positions / 3) ||
      header.list > maxMeshListBytes || header.files > maxFilesBytes ||
      !fits(header, from.room(pipeLimit)))
    return false;
  text.resize(std::size_t(header.text));
  if (!from.read(text.data(), text.size())) return false;
  read = header.read == 1;
  static_cast<ReadFigures&>(model) = header.figures;
  model.positions.resize(std::size_t(header.positions));
  model.indices.resize(std::size_t(header.indices));
  model.colours.resize(std::size_t(header.colours));
  std::string list(std::size_t(header.list), '\0'), files(std::size_t(header.files), '\0');
  if (!(from.read(model.positions.data(), model.positions.size() * sizeof(float)) &&
        from.read(model.indices.data(), model.indices.size() * sizeof(std::uint32_t)) &&
        from.read(model.colours.data(), model.colours.size() * sizeof(std::uint32_t)) &&
        from.read(list.data(), list.size()) && decodeMeshList(list, model.meshList) &&
        from.read(files.data(), files.size())))
    return false;
  for (std::size_t at = 0, end; at < files.size(); at = end + 1) {
    end = files.find('\0', at);
    if (end == std::string::npos) return false;  // every name ends in a NUL
    model.filesRead.push_back(files.substr(at, end - at));
  }
  return true;
}

// Why the child ended as it did, when it did not end well. A limit is named only where it is
// the importer's own and was reached.
std::string failure(int status, const rusage& usage, bool late, const ReaderLimits& limits) {
  if (late) return "it took longer than " + std::to_string(limits.wallSeconds) + " s";
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const double cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    // The soft limit sends SIGXCPU, the hard one a second later SIGKILL; a SIGKILL before that
    // came from elsewhere (the out-of-memory killer, a user).
    if ((signal == SIGXCPU || (signal == SIGKILL && cpuSeconds >= double(limits.seconds))) &&
        ours(RLIMIT_CPU, cpuLimit(limits).rlim_max))
      return "it used up its " + std::to_string(limits.seconds) + " s of CPU time";
    return "it was killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == exitOutOfMemory)
    return outOfMemory(limits, false);
  if (WIFEXITED(status) && WEXITSTATUS(status) == exitAskedTooMuch)
    return outOfMemory(limits, true);
  return "it ended with status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
         " before sending the whole model";
}

// Reaps the child on a thread of its own: the system takes back a large model's memory from it
// for a tenth of a second, while this process goes on. Where no thread can be had, here.
void reapLater(pid_t child) {
  const auto reap = [child] {
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  };
  try {
    // Made with the handled signals held back, which it keeps: it may outlive the commit, which
    // holds them back on the main thread only, and a signal must not be handled here then.
    common::interrupts::Blocked blocked;
    std::thread(reap).detach();
  } catch (...) {  // no thread to be had, or no memory for one
    reap();
  }
}

}  // namespace

namespace {

// The reader started in a child of its own, and this end of what it sends through.
struct Started {
  pid_t child = -1;
  int pipe = -1;  // the child's end is closed here
  int file = -1;  // the shared file, or -1
};

bool startReader(const std::string& path, const std::vector<std::string>& meshes,
                 const ReaderLimits& limits, const ReaderHooks& hooks, Started& started,
                 std::string& error) {
  int fds[2];
  if (::pipe(fds) != 0) {
    error = "cannot start the model reader: " + std::string(std::strerror(errno));
    return false;
  }
  started.file = sharedFile();
#ifdef F_SETPIPE_SZ
  // Without the shared file (or where it takes not all of a model), a large model crosses the
  // pipe as hundreds of megabytes: in the pipe's default 64 KiB, the two processes would take
  // turns thousands of times. Where the system allows no more, the default.
  (void)::fcntl(fds[1], F_SETPIPE_SZ, pipeBytes);
#endif
  {
    // Until the child has given up the parent's handlers, a signal must not find them there.
    common::interrupts::Blocked blocked;
    started.child = ::fork();
  }
  if (started.child < 0) {
    error = "cannot start the model reader: " + std::string(std::strerror(errno));
    ::close(fds[0]);
    ::close(fds[1]);
    if (started.file >= 0) ::close(started.file);
    return false;
  }
  if (started.child == 0) {
    ::close(fds[0]);
    runChild(fds[1], started.file, path, meshes, limits, hooks);
  }
  ::close(fds[1]);
  started.pipe = fds[0];
  return true;
}

}  // namespace

bool readIsolated(const std::string& path, const std::vector<std::string>& meshes,
                  const ReaderLimits& limits, Model& model, std::string& error,
                  const ReaderHooks& hooks) {
  // The reader's end is waited for here: a parent that ignores SIGCHLD would have the system
  // reap it first, and its status would be lost.
  struct sigaction childAction {
  }, savedChildAction{};
  childAction.sa_handler = SIG_DFL;
  sigemptyset(&childAction.sa_mask);
  sigaction(SIGCHLD, &childAction, &savedChildAction);
  struct Restore {
    struct sigaction& saved;
    ~Restore() { sigaction(SIGCHLD, &saved, nullptr); }
  } restore{savedChildAction};
  Started started;
  if (!startReader(path, meshes, limits, hooks, started, error)) return false;
  Receiver from(started.pipe, started.file, started.child,
                std::chrono::steady_clock::now() + std::chrono::seconds(limits.wallSeconds));
  std::string text;
  bool read = false, whole = false;
  int status = 0;
  rusage usage{};
  // Its status is needed only to say why it failed.
  auto finish = [&](bool needStatus) {
    ::close(started.pipe);
    if (started.file >= 0) ::close(started.file);
    // It may be stuck, still sending, or, having sent everything, stuck in the library's cleanup.
    ::kill(started.child, SIGKILL);
    if (needStatus) {
      while (::wait4(started.child, &status, 0, &usage) < 0 && errno == EINTR) {
      }
    } else {
      reapLater(started.child);
    }
  };
  try {
    whole = receive(from, std::uint64_t(limits.memoryMiB) << 20, model, text, read);
  } catch (const std::bad_alloc&) {
    finish(false);  // this process ran out of room for what the reader sent
    throw;
  }
  finish(!whole);
  // What was sent whole stands, whatever the reader did afterwards.
  if (!whole) {
    error = "the model reader failed: " + failure(status, usage, from.late(), limits);
    return false;
  }
  if (!read) {
    error = text;
    return false;
  }
  model.format = text;
  if (std::string problem = checkModel(model); !problem.empty()) {
    error = "the model reader failed: " + problem;
    return false;
  }
  return true;
}
#endif

}  // namespace importer
