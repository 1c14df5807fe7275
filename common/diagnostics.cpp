#include "common/diagnostics.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace common {

std::string systemReason(int error) { return std::strerror(error); }

namespace {

void escape(std::string& line, unsigned char byte) {
  static const char hex[] = "0123456789abcdef";
  line += "\\x";
  line += hex[byte >> 4];
  line += hex[byte & 15];
}

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
std::size_t sequence(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0                 ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0) ||
      (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) >= 0x90))
    return 0;
  return length;
}

}  // namespace

std::string plural(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

std::string printable(std::string_view text) {
  if (text.empty()) return "''";
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      line += text[i++];
    } else if (byte == '\n' || byte == '\t' || byte == '\r') {
      line += byte == '\n' ? "\\n" : byte == '\t' ? "\\t" : "\\r";
      ++i;
    } else if (const std::size_t length = byte >= 0x80 ? sequence(text.substr(i)) : 0;
               length > 0 && !(byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
      // A character of any script; not the C1 controls (U+0080 to U+009F), which a terminal
      // may take as commands.
      line.append(text.substr(i, length));
      i += length;
    } else {
      // Other controls, and bytes that are not UTF-8: one byte at a time, as C spells them.
      const std::size_t bytes = std::max<std::size_t>(length, 1);
      for (std::size_t k = 0; k < bytes; ++k) escape(line, static_cast<unsigned char>(text[i + k]));
      i += bytes;
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
