// The fixture of the tests that run the built program as a user runs it, through the system's
// shell in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "support.h"

namespace program_support {

// A string literal with the NUL bytes inside it.
template <std::size_t N>
std::string withNuls(const char (&text)[N]) {
  return std::string(text, N - 1);
}

#ifdef _WIN32
constexpr bool posix = false;
#else
constexpr bool posix = true;
#endif

// The console's text with its lines ended as on POSIX hosts: on Windows the console is in text
// mode, and every line ends in CR LF there.
std::string normalised(std::string text);

class Program : public ::testing::Test {
 protected:
  // Runs the program in the scratch folder with `arguments` (redirections allowed), its output
  // to `redirect`; on POSIX hosts after the shell commands in `setup` and with its input piped
  // from `feed` if any. Returns the exit status.
  int shell(const std::string& arguments, const std::string& redirect,
            const std::string& setup = "true", const std::string& feed = "");

  // The same, capturing both streams.
  testing_support::RunResult run(const std::string& arguments, const std::string& setup = "true",
                                 const std::string& feed = "");
  void writeInput(const std::string& text) { testing_support::writeFile(dir / "in.msh", text); }

  testing_support::ScratchDir dir;
  std::string exe = VORLATIC_EXE;  // the program that shell() runs
};

}  // namespace program_support
