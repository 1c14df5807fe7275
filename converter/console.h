// What the converter says on its console: the banner, the usage and version lines, and the echo
// of the mesh as read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string_view>

#include "meshtext/scanner.h"
#include "meshtext/text.h"

namespace converter {

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

  // True once a write to the console has failed.
  bool failed() const { return out_.fail(); }

 private:
  static constexpr std::size_t capacity = std::size_t{1} << 16;
  void drain();

  std::ostream& out_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

// A record's echo is its three tokens and at most this many more bytes: two spaces between the
// tokens, then " \n" for a vertex or "\n" for a face.
inline constexpr std::size_t echoOverhead = 4;

// Echoes copy in whole 16-byte pieces: they read up to this many bytes past a token (which the
// text's padding allows) and write as far past the echo (which echoBound leaves room for).
inline constexpr std::size_t echoSlack = 16;
static_assert(echoSlack <= meshtext::textPadding, "a piece must not read past the padding");

// Room enough for the echo of `records` records whose tokens take `textBytes` bytes in all.
constexpr std::size_t echoBound(std::size_t textBytes, std::uint64_t records) noexcept {
  return textBytes + echoOverhead * std::size_t(records) + echoSlack;
}

// Copies size bytes in whole pieces: fixed-size copies, which compile to single loads and stores
// where a copy of any size would call the C library.
inline char* copyPieces(char* out, const char* in, std::size_t size) noexcept {
  for (std::size_t i = 0; i < size; i += echoSlack) std::memcpy(out + i, in + i, echoSlack);
  return out + size;
}

// Writes the echo of a record at `out` and returns its end: the three tokens as read, a space
// after each of the first two, then `ending` (at most two bytes). The tokens lie in padded text
// and `out` has room for them, echoOverhead and echoSlack bytes.
inline char* echoRecord(char* out, const std::array<std::string_view, 3>& tokens,
                        std::string_view ending) noexcept {
  const char* first = tokens[0].data();
  const std::size_t size0 = tokens[0].size(), size1 = tokens[1].size();
  // Most records stand in the input exactly as they are echoed, single spaces between the
  // tokens: one copy does then.
  if (tokens[1].data() == first + size0 + 1 && first[size0] == ' ' &&
      tokens[2].data() == tokens[1].data() + size1 + 1 && tokens[1].data()[size1] == ' ') {
    out = copyPieces(out, first, size0 + size1 + tokens[2].size() + 2);
  } else {
    for (std::size_t k = 0; k < 3; ++k) {
      out = copyPieces(out, tokens[k].data(), tokens[k].size());
      if (k < 2) *out++ = ' ';
    }
  }
  out[0] = ending[0];
  if (ending.size() > 1) out[1] = ending[1];
  return out + ending.size();
}

// A vertex line ends in a space before its newline; a face line does not.
inline char* echoVertex(char* out, const meshtext::Vertex& vertex) noexcept {
  return echoRecord(out, vertex.text, " \n");
}
inline char* echoFace(char* out, const meshtext::Face& face) noexcept {
  return echoRecord(out, face.text, "\n");
}

}  // namespace converter
