#include "common/interrupts.h"

#include <atomic>
#include <csignal>
#include <cstring>

#include "common/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace common::interrupts {
namespace {

#ifdef _WIN32
using Char = wchar_t;
#else
using Char = char;
#endif

// Long enough for any path a program can open.
constexpr std::size_t maxName = 4096;

// Written only outside the handler; the handler reads a name only once its flag says it is whole.
struct Slot {
  std::atomic<bool> used{false};
  Char name[maxName];
};
Slot held[slots];

static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads the flags");

void removeHeld() {
  for (Slot& slot : held) {
    if (!slot.used.load(std::memory_order_acquire)) continue;
#ifdef _WIN32
    DeleteFileW(slot.name);
#else
    unlink(slot.name);  // async-signal-safe, as nothing else here needs to be
#endif
  }
}

#ifdef _WIN32
BOOL WINAPI onControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) removeHeld();
  return FALSE;  // the default handler then ends the process as Ctrl-C always does
}
#else
extern "C" void onSignal(int signal) {
  removeHeld();
  // The handler was reset to the default on entry: the signal, raised again, ends the process
  // once this handler returns.
  raise(signal);
}
#endif

}  // namespace

void install() {
#ifdef _WIN32
  SetConsoleCtrlHandler(onControl, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
#endif
}

int hold(const std::string& name) {
#ifdef _WIN32
  std::wstring text = pathOf(name).wstring();
#else
  const std::string& text = name;
#endif
  if (text.size() >= maxName) return -1;
  for (int i = 0; i < slots; ++i) {
    Slot& slot = held[i];
    if (slot.used.load(std::memory_order_relaxed)) continue;
    std::memcpy(slot.name, text.c_str(), (text.size() + 1) * sizeof(Char));
    slot.used.store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

void release(int slot) {
  if (slot >= 0 && slot < slots) held[slot].used.store(false, std::memory_order_release);
}

}  // namespace common::interrupts
