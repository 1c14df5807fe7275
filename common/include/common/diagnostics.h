// What every program says when something goes wrong, and the exit statuses they share.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace common {

inline constexpr int statusOk = 0;      // done; warnings may have been printed
inline constexpr int statusUsage = 1;   // the usage text was printed
inline constexpr int statusFailed = 2;  // an error stopped the run

// The C library's description of an errno value.
std::string systemReason(int error);

// "1 face", "2 faces": a count with the word that goes with it.
std::string plural(std::uint64_t count, std::string_view one, std::string_view many);

// `text` as one printable line: control characters (C1 ones included) and bytes that are not
// UTF-8 as C escapes (\n, \t, \xHH), so that a name cannot split a diagnostic or send a
// terminal commands; an empty name as ''.
std::string printable(std::string_view text);

// Writes diagnostics to a program's error stream, one line each: "program: what: reason", both
// made printable. The console is flushed first, so that the two streams read in order wherever
// they go.
class Diagnostics {
 public:
  Diagnostics(std::string_view program, std::ostream& errors, std::function<void()> flushConsole);

  void report(std::string_view what, std::string_view reason);
  void warn(std::string_view what, std::string_view reason);

  // Reports and returns statusFailed, for `return diagnostics.fail(...)`.
  int fail(std::string_view what, std::string_view reason);

  // True once a line could not be written: a run whose warnings were lost has not succeeded.
  bool failed() const { return !errors_; }

 private:
  std::string program_;
  std::ostream& errors_;
  std::function<void()> flushConsole_;
};

}  // namespace common
