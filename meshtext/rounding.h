// Rounding an exact binary value into an IEEE format: the last step of every exact conversion.
#pragma once

#include <cstdint>

namespace meshtext {

struct Format {
  int significandBits;  // including the hidden bit
  int minExponent;      // of the smallest normal number
  int maxExponent;      // of the largest finite number, also the bias
};
inline constexpr Format binary64{53, -1022, 1023};
inline constexpr Format binary32{24, -126, 127};

inline int leadingZeros(std::uint64_t x) noexcept {
#if defined(__GNUC__) || defined(__clang__)
  return x ? __builtin_clzll(x) : 64;
#else
  int n = 0;
  for (std::uint64_t bit = std::uint64_t{1} << 63; bit && !(x & bit); bit >>= 1) ++n;
  return n;
#endif
}

// The bits (sign excluded) of the value significand x 2^exponent, where `sticky` says whether
// nonzero bits were dropped below the significand, rounded to nearest, ties to even.
std::uint64_t roundToFormat(std::uint64_t significand, std::int64_t exponent, bool sticky,
                            const Format& format) noexcept;

}  // namespace meshtext
