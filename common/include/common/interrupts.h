// Interrupted runs leave nothing behind: the temporary files of unfinished outputs are removed
// when the process is ended by SIGINT, SIGTERM, SIGHUP or SIGPIPE (Ctrl-C, Ctrl-Break or closing
// the console on Windows), and the process then ends by that same signal, so that its parent
// sees the usual status (130 for Ctrl-C). Only SIGKILL or a power cut can leave one behind.
#pragma once

#include <string>

namespace common::interrupts {

// Installs the handlers; call once, before any output is opened.
void install();

// Files held at once at most: every output a program writes.
inline constexpr int slots = 4;

// Registers a temporary file to be removed on an interrupt; returns its slot, or -1 when every
// slot is taken or the name is too long to keep (the file is then not removed on an interrupt).
int hold(const std::string& name);

// The file is no longer temporary (renamed into place) or is gone: forget it.
void release(int slot);

}  // namespace common::interrupts
