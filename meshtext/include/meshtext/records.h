// The records of mesh text, and their tokens converted a batch at a time from their known starts
// (meshtext/index.h): with the tokens' places known, the conversions of neighbouring tokens do
// not wait for one another, and the common spellings are converted four at a time with vector
// instructions where the processor has them. Every choice of instructions gives the same values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "meshtext/index.h"

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

// Converts the `count` tokens that start at the offsets starts[0, count) of text[0, length) as
// coordinates (the binary32 bits that parseCoordinateBits gives) into bits[0, count), and writes
// the offset just past each token to ends[0, count). The text must meet the padding contract
// (meshtext/text.h).
void coordinateTokens(const char* text, std::size_t length, const std::uint32_t* starts,
                      std::size_t count, std::uint32_t* bits, std::uint32_t* ends,
                      Simd simd = bestSimd()) noexcept;

// The same for indices, as parseInteger reads them.
void integerTokens(const char* text, std::size_t length, const std::uint32_t* starts,
                   std::size_t count, std::int32_t* values, std::uint32_t* ends,
                   Simd simd = bestSimd()) noexcept;

}  // namespace meshtext
