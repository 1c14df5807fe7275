// Word-at-a-time helpers for the scanners: eight bytes handled in one 64-bit word.
#pragma once

#include <cstdint>
#include <cstring>

namespace meshtext {

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
