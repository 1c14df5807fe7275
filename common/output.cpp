#include "common/output.h"

#include "common/interrupts.h"

#ifdef _WIN32
#include "output_windows.h"
#else
#include "output_posix.h"
#endif

namespace common {

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
