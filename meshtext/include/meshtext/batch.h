// Tokens of mesh text converted a batch at a time from their known starts
// (meshtext/index.h): with the tokens' places known, the conversions of neighbouring tokens do
// not wait for one another, and the common spellings are converted four at a time with vector
// instructions where the processor has them. Every choice of instructions gives the same values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "meshtext/index.h"

namespace meshtext {

// Converts the `count` tokens that start at the offsets starts[0, count) of text[0, length) as
// coordinates (the binary32 bits that parseCoordinateBits gives) into bits[0, count), and writes
// the offset just past each token to ends[0, count). The text must meet the padding contract
// (meshtext/text.h). Simd::avx2 converts the common spellings four at a time; sse2 converts as
// portable does, since SSE2 has none of the byte shuffles the vector conversion needs.
void coordinateTokens(const char* text, std::size_t length, const std::uint32_t* starts,
                      std::size_t count, std::uint32_t* bits, std::uint32_t* ends,
                      Simd simd = bestSimd()) noexcept;

// The same for indices, as parseInteger reads them.
void integerTokens(const char* text, std::size_t length, const std::uint32_t* starts,
                   std::size_t count, std::int32_t* values, std::uint32_t* ends,
                   Simd simd = bestSimd()) noexcept;

}  // namespace meshtext
