// One line of progress on a terminal for an import that takes a while.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace importer {

// The progress line of `step` at `percent` of the whole import, from the start of the line and
// padded so that it covers a longer one before it: "\rvorlatic-import: simplifying 55%   ".
std::string progressLine(const std::string& step, int percent);

// Whether standard error is a terminal, where a line may be rewritten in place.
bool errorsAreTerminal();

// Shows the step under way once the import has run about a second, rewriting the line in place,
// and clears it at the end or before a diagnostic; does nothing until enabled.
class Progress {
 public:
  explicit Progress(std::ostream& errors) : errors(errors) {}
  ~Progress() { clear(); }
  void enable() { enabled = true; }
  void at(const std::string& step, int percent);
  void clear();

 private:
  std::ostream& errors;
  bool enabled = false, shown = false;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

}  // namespace importer
