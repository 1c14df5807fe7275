// Helpers shared by the index and the conversions in place: eight bytes handled in one 64-bit
// word, and the exact double arithmetic of the fast conversions.
#pragma once

#include <cfenv>
#include <cfloat>
#include <cstdint>
#include <cstring>

namespace meshtext {

// One IEEE operation on exact operands rounds correctly only without excess precision; otherwise
// it would round twice and the fast conversions must step aside.
#if FLT_EVAL_METHOD == 0 || !defined(FLT_EVAL_METHOD)
inline constexpr bool exactDoubleArithmetic = true;
#else
inline constexpr bool exactDoubleArithmetic = false;
#endif

// The fast conversions round with the floating-point unit, which agrees with the exact path only
// while it rounds to nearest: a program that links meshtext may have set another mode
// (fesetround). Reading the mode costs about as much as one conversion, so callers check it once
// per batch, or only once they are about to take a fast path.
inline bool roundsToNearest() noexcept { return std::fegetround() == FE_TONEAREST; }

// The powers of ten that a double holds exactly.
inline constexpr double exactPowersOf10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Eight bytes as a little-endian word, whatever the host's byte order: the first byte lowest.
inline std::uint64_t load8(const char* p) noexcept {
#if (defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
     __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) ||                  \
    defined(_WIN32)  // every Windows target is little-endian
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
#else
  std::uint64_t word = 0;
  for (int i = 0; i < 8; ++i) word |= std::uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
  return word;
#endif
}

inline int trailingZeros(std::uint64_t x) noexcept {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_ctzll(x);
#else
  int n = 0;
  for (; !(x & 1); x >>= 1) ++n;
  return n;
#endif
}

}  // namespace meshtext
