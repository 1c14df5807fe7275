// Whitespace found many bytes at a time: the word-at-a-time and vector forms of isSpace
// (meshtext/text.h), built on its constants, so that every path splits tokens alike.
#pragma once

#include <cstdint>

#include "meshtext/text.h"
#include "simd.h"

namespace meshtext {

// `byte` in every byte of a word.
constexpr std::uint64_t everyByte(unsigned char byte) noexcept {
  return 0x0101010101010101u * byte;
}

// 0x80 in each byte of the word that is whitespace; 0 elsewhere. Each byte is tested in its low
// seven bits, so that no carry crosses into the next byte: adding 0x7F to the bits of x XOR blank
// sets the top bit unless they are zero, and adding 0x80 - c to the low seven bits sets it from c
// on. A byte with its own top bit set is never whitespace.
inline std::uint64_t spaceBytes(std::uint64_t word) noexcept {
  constexpr std::uint64_t high = everyByte(0x80), low7 = everyByte(0x7F);
  const std::uint64_t blanks = word ^ everyByte(blank);
  const std::uint64_t isBlank = ~(((blanks & low7) + low7) | blanks) & high;
  const std::uint64_t seven = word & low7;
  const std::uint64_t fromFirst = seven + everyByte(0x80 - firstControlSpace);
  const std::uint64_t pastLast = seven + everyByte(0x80 - firstControlSpace - controlSpaces);
  return isBlank | (fromFirst & ~pastLast & ~word & high);
}

#ifdef VORLATIC_X86_SIMD
// 0xFF in each byte that is whitespace: the controls are moved down to 0 and up, and an unsigned
// minimum tells which are below controlSpaces.
inline __m128i spaceBytes(__m128i bytes) noexcept {
  const __m128i controls = _mm_sub_epi8(bytes, _mm_set1_epi8(firstControlSpace));
  return _mm_or_si128(
      _mm_cmpeq_epi8(_mm_min_epu8(controls, _mm_set1_epi8(controlSpaces - 1)), controls),
      _mm_cmpeq_epi8(bytes, _mm_set1_epi8(blank)));
}

__attribute__((target("avx2"))) inline __m256i spaceBytes(__m256i bytes) noexcept {
  const __m256i controls = _mm256_sub_epi8(bytes, _mm256_set1_epi8(firstControlSpace));
  return _mm256_or_si256(
      _mm256_cmpeq_epi8(_mm256_min_epu8(controls, _mm256_set1_epi8(controlSpaces - 1)), controls),
      _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(blank)));
}
#endif

}  // namespace meshtext
