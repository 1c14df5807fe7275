#include "common/diagnostics.h"

#include <cstring>
#include <utility>

namespace common {

std::string systemReason(int error) { return std::strerror(error); }

std::string printable(std::string_view text) {
  if (text.empty()) return "''";
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line += c;
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      static const char hex[] = "0123456789abcdef";
      line += "\\x";
      line += hex[byte >> 4];
      line += hex[byte & 15];
    }
  }
  return line;
}

Diagnostics::Diagnostics(std::string_view program, std::ostream& errors,
                         std::function<void()> flushConsole)
    : program_(program), errors_(errors), flushConsole_(std::move(flushConsole)) {}

void Diagnostics::report(std::string_view what, std::string_view reason) {
  if (flushConsole_) flushConsole_();
  errors_ << program_ << ": " << printable(what) << ": " << printable(reason) << '\n';
  errors_.flush();
}

void Diagnostics::warn(std::string_view what, std::string_view reason) {
  report(what, "warning: " + std::string(reason));
}

int Diagnostics::fail(std::string_view what, std::string_view reason) {
  report(what, reason);
  return statusFailed;
}

}  // namespace common
