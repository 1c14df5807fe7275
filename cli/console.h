// What the program says: the banner, the usage and version lines, the echo of the mesh, and
// diagnostics in the form "vorlatic: <what>: <reason>".
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "meshtext/reader.h"

namespace vorlatic {

// Seven lines of 79 characters each.
extern const std::string_view banner;
extern const std::string_view usageLine;

// The console on standard output, gathered into large writes: it is never flushed per line, only
// when a diagnostic is about to be written and at the end.
class Echo {
 public:
  explicit Echo(std::ostream& out);
  ~Echo();
  Echo(const Echo&) = delete;
  Echo& operator=(const Echo&) = delete;

  void text(std::string_view text);
  void versionLine(std::string_view version);
  void counts(const meshtext::Counts& counts);
  void flush();

 private:
  static constexpr std::size_t capacity = std::size_t{1} << 16;
  void drain();

  std::ostream& out_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

// Writes the echo of a record at `out` and returns its end: the three tokens as read, a space
// after each of the first two, then `ending`. `out` must have room for the tokens plus 4 bytes.
char* echoRecord(char* out, const std::array<std::string_view, 3>& tokens, std::string_view ending);

// A vertex line ends in a space before its newline; a face line does not.
inline char* echoVertex(char* out, const meshtext::Vertex& vertex) {
  return echoRecord(out, vertex.text, " \n");
}
inline char* echoFace(char* out, const meshtext::Face& face) {
  return echoRecord(out, face.text, "\n");
}

// Writes one diagnostic line to `errors`, after flushing the echo so the two read in order.
void diagnose(Echo& echo, std::ostream& errors, std::string_view what, std::string_view reason);

// The C library's description of an errno value.
std::string systemReason(int error);

}  // namespace vorlatic
