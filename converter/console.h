// What the converter says on its console: the banner, the usage and version lines, and the echo
// of the mesh as read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

#include "meshtext/mesh.h"

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
  // Drops what has not been written yet: the console must not be written at all.
  void discard() noexcept { used_ = 0; }

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

// Room enough for the echo of `records` records whose tokens take `textBytes` bytes in all.
constexpr std::size_t echoBound(std::size_t textBytes, std::uint64_t records) noexcept {
  return textBytes + echoOverhead * std::size_t(records);
}

// Writes a record's echo at `out` token by token (its three tokens, a space after each of the
// first two, then `ending`) and returns its end; `out` has room for them and echoOverhead bytes.
char* echoRecord(char* out, const std::array<std::string_view, 3>& tokens, std::string_view ending);

// A vertex line ends in a space before its newline; a face line does not.
inline constexpr std::string_view vertexEnding = " \n", faceEnding = "\n";

// The echo of one block, gathered as pieces in the order they are echoed: runs of records
// written out in its own buffer, and text that outlives it (runs of the block's text that are
// echoed as they stand, literals), which is not copied.
class EchoPieces {
 public:
  // Starts over.
  void clear() noexcept;

  // Room for `bytes` of text to be written out; only before any has been since clear().
  void makeRoom(std::size_t bytes);

  // Where text is written out next, and how far it has been.
  char* end() noexcept { return end_; }
  void advance(char* end) noexcept { end_ = end; }

  // Appends text that outlives the pieces.
  void add(std::string_view text);

  // The pieces, once the last has been added or written out.
  const std::vector<std::string_view>& pieces();

 private:
  void closeRun();

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  char* runStart_ = nullptr;  // the text written out since the last piece was added
  char* end_ = nullptr;
  std::vector<std::string_view> pieces_;
};
}  // namespace converter
