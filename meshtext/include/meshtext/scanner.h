// The one tokenizer of mesh text: tokens and records read in place from padded text, and the
// token boundaries by which a stream is cut into chunks of whole records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "meshtext/text.h"

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

// Reads the tokens of text[0, length) in place, converting the common spellings of numbers while
// it scans and leaving the rest to the general conversions. Views point into the text.
class Scanner {
 public:
  Scanner() = default;
  // The text must meet the padding contract (meshtext/text.h).
  Scanner(const char* text, std::size_t length) noexcept;
  explicit Scanner(const PaddedText& text) noexcept : Scanner(text.data(), text.size()) {}

  // The next token; false at the end of the text.
  bool token(std::string_view& token) noexcept;

  // The next three tokens as a vertex or a face; false, consuming nothing, when fewer than three
  // remain.
  bool vertex(Vertex& vertex) noexcept;
  bool face(Face& face) noexcept;

 private:
  const char* p_ = "";  // no text: every read stops at once
  const char* end_ = p_;
};

// Token boundaries, for cutting text into chunks of whole records. None needs padding.

// Where the last `count` tokens of text[0, length) start.
std::size_t lastTokensStart(const char* text, std::size_t length, std::size_t count) noexcept;

// Rewrites text[0, length) in place as its tokens joined by single spaces, ending in a space when
// it did: the tokens stay as they were, and a run of whitespace costs no memory. Returns the new
// length.
std::size_t compactTokens(char* text, std::size_t length) noexcept;

}  // namespace meshtext
