// Reading mesh text: whitespace-separated tokens, and the counts, vertices and faces made of them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string_view>
#include <vector>

namespace meshtext {

// The two numbers that open a mesh, as read (possibly negative).
struct Counts {
  std::int32_t vertexCount = 0;
  std::int32_t faceCount = 0;
};

// One vertex: its three tokens as read, and their values.
struct Vertex {
  std::array<std::string_view, 3> text;
  float x = 0, y = 0, z = 0;
};

// One face: its three tokens as read, their values, and the 16 bits each is stored in.
struct Face {
  std::array<std::string_view, 3> text;
  std::array<std::int32_t, 3> value{};
  std::array<std::uint16_t, 3> index{};
};

// True for the six characters that separate tokens: space, \t, \n, \v, \f and \r.
constexpr bool isSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads tokens from a stream in one pass, block by block, holding at most the current record
// in memory however large the input. Tokens are read whole, whatever their length.
class Reader {
 public:
  static constexpr std::size_t defaultBlockSize = std::size_t{1} << 16;

  // Reads from `input` with sgetn, `blockSize` bytes at a time; the end of the input is where
  // sgetn first returns nothing (the caller tells an end from a read error by its stream).
  explicit Reader(std::streambuf& input, std::size_t blockSize = defaultBlockSize);

  // Reads the tokens of text[0, length) in place, without copying. The text must be padded:
  // text[length] is a NUL and at least 16 bytes from there on are readable.
  Reader(const char* text, std::size_t length);

  // Reads up to `wanted` (at most 3) further tokens into `tokens` and returns how many it found:
  // fewer only at the end of the input. The views stay valid until the next read.
  std::size_t readTokens(std::string_view* tokens, std::size_t wanted);

  // Reads vertexCount then faceCount; returns the number of tokens found (2 when both were there).
  std::size_t readCounts(Counts& counts);

  // Reads the next three tokens as a vertex; returns how many it found (3 when complete).
  std::size_t readVertex(Vertex& vertex);

  // Reads the next three tokens as a face; returns how many it found (3 when complete, 0 at the
  // end of the input).
  std::size_t readFace(Face& face);

 private:
  bool refill(std::size_t* starts, const std::size_t* lengths, std::size_t found,
              std::size_t& partialStart);
  bool quickVertex(Vertex& vertex);
  bool quickFace(Face& face);

  std::streambuf* input_;  // none when reading text in place
  std::size_t blockSize_;
  // The bytes read, then a NUL that stops every scan at end_, then room for the word-sized loads
  // of the number scanners.
  static constexpr std::size_t slack = 16;
  std::vector<char> buffer_;
  const char* data_;  // buffer_, or the text read in place
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
};

}  // namespace meshtext
