#include "meshtext/index.h"

#include <cstdlib>
#include <string_view>

#include "meshtext/text.h"
#include "simd.h"
#include "whitespace.h"
#include "word_at_a_time.h"

namespace meshtext {
namespace {

// Offsets of the set bits of `mask`, the bytes from `base` on.
inline std::size_t flatten(std::uint64_t mask, std::uint32_t base, std::uint32_t* out) noexcept {
  std::size_t n = 0;
  while (mask) {
    out[n++] = base + std::uint32_t(trailingZeros(mask));
    mask &= mask - 1;
  }
  return n;
}

// Bit i set where byte i of the word is whitespace, eight bytes at a time by arithmetic alone.
inline std::uint64_t spaceMask8(std::uint64_t word) noexcept {
  // Gather the bytes' top bits into the low eight bits.
  return (((spaceBytes(word) >> 7) * 0x0102040810204080u) >> 56) & 0xFF;
}

// The whitespace mask of 64 bytes, bit i for byte i, with each kind of instruction.
struct Portable {
  static std::uint64_t spaces(const char* p) noexcept {
    std::uint64_t mask = 0;
    for (int i = 0; i < 8; ++i) mask |= spaceMask8(load8(p + 8 * i)) << (8 * i);
    return mask;
  }
};

#ifdef VORLATIC_X86_SIMD
struct Sse2 {
  static std::uint64_t spaces(const char* p) noexcept {
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      mask |= std::uint64_t(std::uint32_t(_mm_movemask_epi8(spaceBytes(v)))) << (16 * i);
    }
    return mask;
  }
};

struct Avx2 {
  __attribute__((target("avx2"))) static std::uint64_t spaces(const char* p) noexcept {
    std::uint64_t mask = 0;
    for (int i = 0; i < 2; ++i) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i));
      mask |= std::uint64_t(std::uint32_t(_mm256_movemask_epi8(spaceBytes(v)))) << (32 * i);
    }
    return mask;
  }
};
#endif

// The index, one 64-byte block at a time; the tail of fewer bytes byte by byte. Always inlined,
// so that the masks made with a processor's own instructions are inlined into it in turn.
template <typename Masks>
VORLATIC_ALWAYS_INLINE std::size_t indexWith(const char* text, std::size_t length, bool afterSpace,
                                             std::uint32_t* starts, std::uint32_t base) noexcept {
  std::size_t count = 0;
  std::uint64_t spaceBefore = afterSpace ? 1 : 0;
  std::size_t i = 0;
  for (; i + 64 <= length; i += 64) {
    std::uint64_t space = Masks::spaces(text + i);
    std::uint64_t begins = ~space & ((space << 1) | spaceBefore);
    spaceBefore = space >> 63;
    count += flatten(begins, base + std::uint32_t(i), starts + count);
  }
  bool previousSpace = spaceBefore != 0;
  for (; i < length; ++i) {
    bool space = isSpace(text[i]);
    if (!space && previousSpace) starts[count++] = base + std::uint32_t(i);
    previousSpace = space;
  }
  return count;
}

#ifdef VORLATIC_X86_SIMD
__attribute__((target("avx2"))) std::size_t indexAvx2(const char* text, std::size_t length,
                                                      bool afterSpace, std::uint32_t* starts,
                                                      std::uint32_t base) noexcept {
  return indexWith<Avx2>(text, length, afterSpace, starts, base);
}

#endif

}  // namespace

Simd processorSimd() noexcept {
#ifdef VORLATIC_X86_SIMD
  static const Simd best = __builtin_cpu_supports("avx2") ? Simd::avx2 : Simd::sse2;
  return best;
#else
  return Simd::portable;
#endif
}

// VORLATIC_SIMD names the instructions to use, for debugging and benchmarks; it never asks for
// more than the processor has, so avx2, like any other value or none, leaves the processor's best.
Simd bestSimd() noexcept {
  static const Simd chosen = [] {
    const Simd best = processorSimd();
    const char* asked = std::getenv("VORLATIC_SIMD");
    const std::string_view name = asked ? asked : "";
    const Simd wanted = name == "portable" ? Simd::portable : name == "sse2" ? Simd::sse2 : best;
    return wanted < best ? wanted : best;
  }();
  return chosen;
}

std::size_t indexTokens(const char* text, std::size_t length, bool afterSpace,
                        std::uint32_t* starts, Simd simd, std::uint32_t base) noexcept {
  switch (simd) {
    case Simd::avx2:
#ifdef VORLATIC_X86_SIMD
      if (processorSimd() == Simd::avx2) return indexAvx2(text, length, afterSpace, starts, base);
#endif
      [[fallthrough]];
    case Simd::sse2:
#ifdef VORLATIC_X86_SIMD
      return indexWith<Sse2>(text, length, afterSpace, starts, base);
#endif
      [[fallthrough]];
    case Simd::portable:
      return indexWith<Portable>(text, length, afterSpace, starts, base);
  }
  return 0;
}

}  // namespace meshtext
