// Where tokens start, found for a whole block at once: whitespace masks of 64 bytes at a time
// flattened into offsets, so that tokens can then be converted from known starts, several in
// flight at once, instead of each being found from the end of the last.
#pragma once

#include <cstddef>
#include <cstdint>

namespace meshtext {

// The instructions the index and the batch conversions are made with, in increasing order:
// chosen at run time on x86-64 (SSE2 is always there, AVX2 where the processor has it); the
// portable path everywhere else. All give the same results.
enum class Simd { portable, sse2, avx2 };

// The best this processor can do, or less when the environment variable VORLATIC_SIMD says
// portable, sse2 or avx2 (read once; never more than the processor has; other values ignored).
Simd bestSimd() noexcept;

// Room for the index of `length` bytes: a token starts at most every other byte.
constexpr std::size_t indexCapacity(std::size_t length) noexcept { return length / 2 + 1; }

// Writes to `starts` the offset of every token that begins in text[0, length), plus `base`, and
// returns how many. `afterSpace` says whether the byte before text[0] is whitespace (true at the
// start of the input). `starts` needs room for indexCapacity(length) offsets; base + length
// must be below 2^32.
std::size_t indexTokens(const char* text, std::size_t length, bool afterSpace,
                        std::uint32_t* starts, Simd simd = bestSimd(),
                        std::uint32_t base = 0) noexcept;

}  // namespace meshtext
