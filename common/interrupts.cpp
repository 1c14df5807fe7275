#include "common/interrupts.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace common::interrupts {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads the flags");

#ifdef _WIN32
// Any path Windows opens, long ones included.
constexpr std::size_t maxPath = 32768;

// Written only outside the handler; the handler reads a path only once its flag says it is whole.
struct Slot {
  std::atomic<bool> used{false};
  wchar_t path[maxPath];
};
Slot held[slots];

// Set once an output is in place: the run has succeeded, and an interrupt may not say otherwise.
std::atomic<bool> committed{false};

BOOL WINAPI onControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (committed.load(std::memory_order_acquire) && event != CTRL_CLOSE_EVENT)
    return TRUE;  // handled: the run goes on to its exit
  for (Slot& slot : held)
    if (slot.used.load(std::memory_order_acquire)) DeleteFileW(slot.path);
  return FALSE;  // the default handler then ends the process as Ctrl-C always does
}
#else
struct Slot {
  std::atomic<bool> used{false};
  int directory = -1;
  dev_t device = 0;
  ino_t inode = 0;
  char name[maxName + 1];
};
Slot held[slots];

// Every signal whose default action ends the process, but for the faults of the program itself
// (SIGSEGV and the like, which the sanitizers catch) and SIGXFSZ, which is ignored instead.
const int deadly[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGTERM,   SIGPIPE, SIGALRM,
    SIGUSR1,   SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF, SIGABRT,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// The signals this program handles: filled in once by install(), read by Blocked afterwards.
sigset_t handled;

void removeHeld() {
  // unlinkat and fstatat are async-signal-safe, as nothing else here needs to be.
  for (Slot& slot : held) {
    if (!slot.used.load(std::memory_order_acquire)) continue;
    if (slot.inode != 0) {
      struct stat now {};
      if (fstatat(slot.directory, slot.name, &now, AT_SYMLINK_NOFOLLOW) != 0 ||
          now.st_dev != slot.device || now.st_ino != slot.inode || now.st_size != 0)
        continue;
    }
    unlinkat(slot.directory, slot.name, 0);
  }
}

extern "C" void onSignal(int signal) {
  removeHeld();
  // The handler was reset to the default on entry: the signal, raised again, ends the process
  // once this handler returns.
  raise(signal);
}

void handle(int signal) {
  struct sigaction before {};
  if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESETHAND;
  // One handler at a time: a second signal waits until the first has removed the files.
  sigfillset(&action.sa_mask);
  if (sigaction(signal, &action, nullptr) == 0) sigaddset(&handled, signal);
}
#endif

}  // namespace

void install() {
#ifdef _WIN32
  SetConsoleCtrlHandler(onControl, TRUE);
#else
  sigemptyset(&handled);
  for (int signal : deadly) handle(signal);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  // The real-time signals end the process too; the C library keeps the lowest ones for itself.
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) handle(signal);
#endif
  // A write past the file-size limit then fails with EFBIG, which the programs report.
  struct sigaction before {};
  if (sigaction(SIGXFSZ, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

#ifdef _WIN32
int hold(const std::wstring& path) {
  if (path.size() >= maxPath) return -1;
  for (int i = 0; i < slots; ++i) {
    Slot& slot = held[i];
    if (slot.used.load(std::memory_order_relaxed)) continue;
    std::memcpy(slot.path, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    slot.used.store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

Blocked::Blocked() : saved_{} {}
Blocked::~Blocked() = default;
void blockUntilExit() { committed.store(true, std::memory_order_release); }
void forgetInChild() {}
#else
int hold(int directory, const std::string& name, std::uint64_t device, std::uint64_t inode) {
  if (name.size() > maxName) return -1;
  for (int i = 0; i < slots; ++i) {
    Slot& slot = held[i];
    if (slot.used.load(std::memory_order_relaxed)) continue;
    slot.directory = directory;
    slot.device = dev_t(device);
    slot.inode = ino_t(inode);
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.used.store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

static_assert(sizeof(sigset_t) <= sizeof(std::uint64_t[16]), "Blocked keeps a sigset_t");

Blocked::Blocked() : saved_{} {
  pthread_sigmask(SIG_BLOCK, &handled, reinterpret_cast<sigset_t*>(saved_));
}

Blocked::~Blocked() { pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(saved_), nullptr); }

void blockUntilExit() { pthread_sigmask(SIG_BLOCK, &handled, nullptr); }

void forgetInChild() {
  for (Slot& slot : held) slot.used.store(false, std::memory_order_relaxed);
  for (int signal = 1; signal < NSIG; ++signal)
    if (sigismember(&handled, signal) == 1) std::signal(signal, SIG_DFL);
  pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
}
#endif

void release(int slot) {
  if (slot >= 0 && slot < slots) held[slot].used.store(false, std::memory_order_release);
}

}  // namespace common::interrupts
