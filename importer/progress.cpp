#include "progress.h"

#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#else
#include <unistd.h>
#endif

namespace importer {
namespace {

// Wide enough for the longest step's line, so that a shorter one leaves nothing behind.
constexpr std::size_t lineWidth = 40;

}  // namespace

std::string progressLine(const std::string& step, int percent) {
  std::string line = "vorlatic-import: " + step + ' ' + std::to_string(percent) + '%';
  if (line.size() < lineWidth) line.append(lineWidth - line.size(), ' ');
  return '\r' + line;
}

bool errorsAreTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) == 1;
#endif
}

void Progress::at(const std::string& step, int percent) {
  // Under a second, a line would only flicker.
  if (!enabled || std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) return;
  errors << progressLine(step, percent) << std::flush;
  shown = true;
}

void Progress::clear() {
  if (!shown) return;
  errors << '\r' << std::string(lineWidth, ' ') << '\r' << std::flush;
  shown = false;
}

}  // namespace importer
