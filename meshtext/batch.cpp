#include "meshtext/batch.h"

#include "portable_path.h"
#include "simd.h"
#include "whitespace.h"

namespace meshtext {
namespace {

std::uint32_t offset(const char* p, const char* text) noexcept { return std::uint32_t(p - text); }

// How a token is converted in place where its spelling allows (coordinateAt, integerAt).
template <typename Value>
using TokenAt = const char* (*)(const char*, const char*, Value&) noexcept;

// Each token through `at`: the portable path.
template <typename Value, TokenAt<Value> at>
void portable(const char* text, const char* end, const std::uint32_t* starts, std::size_t count,
              Value* values, std::uint32_t* ends) noexcept {
  for (std::size_t i = 0; i < count; ++i)
    ends[i] = offset(at(text + starts[i], end, values[i]), text);
}

// Every token through the general conversion, which rounds in integer arithmetic alone.
void coordinatesExact(const char* text, const char* end, const std::uint32_t* starts,
                      std::size_t count, std::uint32_t* bits, std::uint32_t* ends) noexcept {
  for (std::size_t i = 0; i < count; ++i) {
    const char* start = text + starts[i];
    const char* p = tokenEnd(start, end);
    bits[i] = parseCoordinateBits(std::string_view(start, std::size_t(p - start)));
    ends[i] = offset(p, text);
  }
}

#ifdef VORLATIC_X86_SIMD
// Four tokens at a time, each in a lane of its own: masks classify the bytes, and the digits are
// lined up at the end of their lane for multiply-adds that combine them. A group of four in
// which any token is not of the common spelling goes to the portable conversions whole. The
// loads reach 16 bytes past a token's start, within the padding.

#define VORLATIC_AVX2 __attribute__((target("avx2")))

// The bytes as digit values, and 0xFF in `isDigit` where they are decimal digits: subtracting
// '0' wraps every other byte outside 0..9, and an unsigned minimum with 9 leaves only those
// within it unchanged.
VORLATIC_AVX2 inline __m256i digitValues(__m256i bytes, __m256i& isDigit) noexcept {
  const __m256i values = _mm256_sub_epi8(bytes, _mm256_set1_epi8('0'));
  isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(values, _mm256_set1_epi8(9)), values);
  return values;
}

// Digit values lined up at the end of each 16-byte lane, as two numbers of eight digits each in
// its first two 32-bit words (the first the more significant), or those of each eight bytes
// as one number in the first word of each half lane. Each multiply-add weighs a pair of
// adjacent fields, the first (the more significant digits) by the low half of the constant and
// the second by its high half, 1: 0x010A is (10, 1) for bytes into two digits, 0x00010064 is
// (100, 1) for those into four, and 0x00012710 is (10000, 1) for those, once packed to 16 bits
// (at most 9999 fits), into eight.
VORLATIC_AVX2 inline __m256i combineDigits(__m256i digits) noexcept {
  __m256i x = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(0x010A));
  x = _mm256_madd_epi16(x, _mm256_set1_epi32(0x00010064));
  x = _mm256_packus_epi32(x, x);
  return _mm256_madd_epi16(x, _mm256_set1_epi32(0x00012710));
}

VORLATIC_AVX2 inline __m128i load8(const char* p) noexcept {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

VORLATIC_AVX2 inline __m128i load8High(__m128i low, const char* p) noexcept {
  return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(p)));
}

// Four indices of one to seven digits each, each followed by whitespace; false for any other.
VORLATIC_AVX2 bool fourIntegers(const char* text, const std::uint32_t* starts, std::int32_t* out,
                                std::uint32_t* ends) noexcept {
  const __m128i low = load8High(load8(text + starts[0]), text + starts[1]);
  const __m128i high = load8High(load8(text + starts[2]), text + starts[3]);
  const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
  __m256i isDigit;
  const __m256i values = digitValues(bytes, isDigit);
  const __m256i ones = _mm256_set1_epi8(-1), zero = _mm256_setzero_si256();
  // In each eight bytes, the lowest bit of the first byte that is not a digit: x & -x keeps
  // the lowest set bit of x.
  const __m256i other = _mm256_xor_si256(isDigit, ones);
  const __m256i first = _mm256_and_si256(other, _mm256_sub_epi64(zero, other));
  // It must be whitespace: neither the token's first byte (no digit) nor missing (eight digits).
  if (_mm256_movemask_epi8(_mm256_cmpeq_epi64(_mm256_and_si256(spaceBytes(bytes), first), zero)))
    return false;
  // One less than that bit sets every bit below it: 0xFF in the digits' bytes, whose count the
  // sum of absolute differences against zero adds up, one per byte.
  const __m256i digitBytes = _mm256_add_epi64(first, ones);
  const __m256i lengths = _mm256_sad_epu8(_mm256_and_si256(digitBytes, _mm256_set1_epi8(1)), zero);
  const __m256i shift = _mm256_slli_epi64(_mm256_sub_epi64(_mm256_set1_epi64x(8), lengths), 3);
  const __m256i numbers =
      combineDigits(_mm256_sllv_epi64(_mm256_and_si256(values, digitBytes), shift));
  const __m256i words = _mm256_setr_epi32(0, 1, 4, 5, 0, 2, 4, 6);
  const __m256i ordered = _mm256_permutevar8x32_epi32(numbers, words);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(ordered));
  const __m128i ended =
      _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(starts)),
                    _mm256_extracti128_si256(_mm256_permutevar8x32_epi32(lengths, words), 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(ends), ended);
  return true;
}

// Shuffle controls made by loading 16 bytes from within these: at `length`, the lanes that line a
// token of that length up at the end of its lane (lane j takes byte j + length - 16); at
// `decimals`, -1 in the lanes before the decimals (16 when there is no point), which take the
// digit one before, past the point. A negative lane (its top bit set) gives 0, so the bytes
// before the token read as leading zeros.
alignas(32) constexpr std::int8_t slide[32] = {-16, -15, -14, -13, -12, -11, -10, -9, -8, -7, -6,
                                               -5,  -4,  -3,  -2,  -1,  0,   1,   2,  3,  4,  5,
                                               6,   7,   8,   9,   10,  11,  12,  13, 14, 15};
alignas(32) constexpr std::int8_t beforePoint[32] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                     -1, -1, -1, -1, -1, 0,  0,  0,  0,  0,  0,
                                                     0,  0,  0,  0,  0,  0,  0,  0,  0,  0};

// The sign bits of four floats, for each combination of negative ones.
struct SignBits {
  alignas(16) std::uint32_t words[16][4];
  constexpr SignBits() : words() {
    for (unsigned i = 0; i < 16; ++i)
      for (unsigned k = 0; k < 4; ++k) words[i][k] = ((i >> k) & 1u) << 31;
  }
};
constexpr SignBits signBits;

// A coordinate token in a 16-byte lane: its length, its decimals and whether it has the common
// spelling, [sign]digits[.digits] with at least one digit, at most 15 characters and whitespace
// after it. The masks hold one bit per byte of the lane, bit i for byte i.
struct Shape {
  unsigned length = 0, decimals = 0, stepAt = 16;
  bool common = false;

  Shape(unsigned digits, unsigned points, unsigned spaces, const char* token) noexcept {
    // A sign counts only as the first byte, bit 0. The token runs to the first byte that is
    // neither a digit nor a point: the lowest zero bit of their masks, at most 16 since the
    // complement sets every bit above the lane's.
    const unsigned sign = token[0] == '-' || token[0] == '+';
    length = unsigned(__builtin_ctz(~(digits | points | sign)));
    // Its points; the lowest is the first, and the bytes after it are the decimals.
    const unsigned point = points & ((1u << length) - 1);
    if (point) decimals = stepAt = length - 1 - unsigned(__builtin_ctz(point));
    // point & (point - 1) clears the lowest bit: zero when there is at most one point. The
    // length then counts at least one digit beyond the sign and the point.
    common = length <= 15 && ((spaces >> length) & 1) && (point & (point - 1)) == 0 &&
             length > sign + (point != 0);
  }
};

VORLATIC_AVX2 inline unsigned mask(__m256i bytes) noexcept {
  return unsigned(_mm256_movemask_epi8(bytes));
}

VORLATIC_AVX2 inline __m256i loadPair(const void* low, const void* high) noexcept {
  return _mm256_loadu2_m128i(static_cast<const __m128i*>(high), static_cast<const __m128i*>(low));
}

VORLATIC_AVX2 inline __m256i shuffleControls(const Shape& low, const Shape& high) noexcept {
  return _mm256_add_epi8(loadPair(slide + low.length, slide + high.length),
                         loadPair(beforePoint + low.stepAt, beforePoint + high.stepAt));
}

// The mantissas of the two tokens of a pair of lanes, in the first and third 64-bit words: the
// lane's two eight-digit numbers joined as first * 10^8 + second (the multiplication reads the
// lower 32-bit word of each 64-bit one, the first; the shift brings down the second).
VORLATIC_AVX2 inline __m256i mantissas(__m256i values, __m256i isDigit, __m256i control) noexcept {
  const __m256i halves =
      combineDigits(_mm256_shuffle_epi8(_mm256_and_si256(values, isDigit), control));
  return _mm256_add_epi64(_mm256_mul_epu32(halves, _mm256_set1_epi64x(100000000)),
                          _mm256_srli_epi64(halves, 32));
}

// Four coordinates of the common spelling; false, writing nothing, when any is not.
VORLATIC_AVX2 bool fourCoordinates(const char* text, const std::uint32_t* starts,
                                   std::uint32_t* bits, std::uint32_t* ends) noexcept {
  const char* p[4] = {text + starts[0], text + starts[1], text + starts[2], text + starts[3]};
  const __m256i a = loadPair(p[0], p[1]), b = loadPair(p[2], p[3]);
  __m256i digitsA, digitsB;
  const __m256i valuesA = digitValues(a, digitsA), valuesB = digitValues(b, digitsB);
  const __m256i dot = _mm256_set1_epi8('.');
  const unsigned dA = mask(digitsA), dB = mask(digitsB);
  const unsigned pA = mask(_mm256_cmpeq_epi8(a, dot)), pB = mask(_mm256_cmpeq_epi8(b, dot));
  const unsigned sA = mask(spaceBytes(a)), sB = mask(spaceBytes(b));
  const Shape t0(dA & 0xFFFF, pA & 0xFFFF, sA & 0xFFFF, p[0]),
      t1(dA >> 16, pA >> 16, sA >> 16, p[1]);
  const Shape t2(dB & 0xFFFF, pB & 0xFFFF, sB & 0xFFFF, p[2]),
      t3(dB >> 16, pB >> 16, sB >> 16, p[3]);
  if (!(t0.common & t1.common & t2.common & t3.common)) return false;
  // At most 15 digits: below 10^15 < 2^52. OR'd into the fraction of 2^52 (0x4330000000000000),
  // whose ulp is 1, it gives the double 2^52 + m exactly; subtracting 2^52 leaves m.
  const __m256i m = _mm256_unpacklo_epi64(mantissas(valuesA, digitsA, shuffleControls(t0, t1)),
                                          mantissas(valuesB, digitsB, shuffleControls(t2, t3)));
  const __m256d two52 = _mm256_set1_pd(4503599627370496.0);
  const __m256d mantissa =
      _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(m, _mm256_castpd_si256(two52))), two52);
  // The lanes hold the tokens 0, 2, 1, 3. As decimalFloatBits does: multiplied, unless the
  // product lies within a few ulps of a float midpoint, where the exact division decides.
  __m256d magnitude = _mm256_mul_pd(
      mantissa, _mm256_setr_pd(inversePowersOf10[t0.decimals], inversePowersOf10[t2.decimals],
                               inversePowersOf10[t1.decimals], inversePowersOf10[t3.decimals]));
  const __m256i fromMidpoint = _mm256_sub_epi64(
      _mm256_and_si256(_mm256_castpd_si256(magnitude), _mm256_set1_epi64x(0x1FFFFFFF)),
      _mm256_set1_epi64x(0x10000000 - std::int64_t(nearMidpoint)));
  const __m256i near =
      _mm256_andnot_si256(_mm256_cmpgt_epi64(fromMidpoint, _mm256_set1_epi64x(2 * nearMidpoint)),
                          _mm256_cmpgt_epi64(fromMidpoint, _mm256_set1_epi64x(-1)));
  if (_mm256_movemask_epi8(near))
    magnitude = _mm256_blendv_pd(
        magnitude,
        _mm256_div_pd(mantissa,
                      _mm256_setr_pd(exactPowersOf10[t0.decimals], exactPowersOf10[t2.decimals],
                                     exactPowersOf10[t1.decimals], exactPowersOf10[t3.decimals])),
        _mm256_castsi256_pd(near));
  __m128 rounded = _mm256_cvtpd_ps(magnitude);
  rounded = _mm_shuffle_ps(rounded, rounded, _MM_SHUFFLE(3, 1, 2, 0));
  const unsigned negative = unsigned(*p[0] == '-') | unsigned(*p[1] == '-') << 1 |
                            unsigned(*p[2] == '-') << 2 | unsigned(*p[3] == '-') << 3;
  const __m128i sign = _mm_load_si128(reinterpret_cast<const __m128i*>(signBits.words[negative]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(bits), _mm_or_si128(_mm_castps_si128(rounded), sign));
  const __m128i lengths =
      _mm_setr_epi32(int(t0.length), int(t1.length), int(t2.length), int(t3.length));
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(ends),
      _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(starts)), lengths));
  return true;
}

// Four tokens at a time through `four`, which refuses a group of four unless all have the
// common spelling; such a group, and the last few tokens, go through the portable path.
template <typename Value,
          bool (*four)(const char*, const std::uint32_t*, Value*, std::uint32_t*) noexcept,
          TokenAt<Value> at>
VORLATIC_AVX2 void byFours(const char* text, const char* end, const std::uint32_t* starts,
                           std::size_t count, Value* values, std::uint32_t* ends) noexcept {
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4)
    if (!four(text, starts + i, values + i, ends + i))
      portable<Value, at>(text, end, starts + i, 4, values + i, ends + i);
  portable<Value, at>(text, end, starts + i, count - i, values + i, ends + i);
}
#endif

}  // namespace

void coordinateTokens(const char* text, std::size_t length, const std::uint32_t* starts,
                      std::size_t count, std::uint32_t* bits, std::uint32_t* ends,
                      Simd simd) noexcept {
  assert(isPadded(text, length));
  if (!exactDoubleArithmetic || !roundsToNearest())
    return coordinatesExact(text, text + length, starts, count, bits, ends);
#ifdef VORLATIC_X86_SIMD
  if (simd == Simd::avx2 && processorSimd() == Simd::avx2)
    return byFours<std::uint32_t, fourCoordinates, coordinateAt>(text, text + length, starts, count,
                                                                 bits, ends);
#endif
  (void)simd;
  portable<std::uint32_t, coordinateAt>(text, text + length, starts, count, bits, ends);
}

void integerTokens(const char* text, std::size_t length, const std::uint32_t* starts,
                   std::size_t count, std::int32_t* values, std::uint32_t* ends,
                   Simd simd) noexcept {
  assert(isPadded(text, length));
#ifdef VORLATIC_X86_SIMD
  if (simd == Simd::avx2 && processorSimd() == Simd::avx2)
    return byFours<std::int32_t, fourIntegers, integerAt>(text, text + length, starts, count,
                                                          values, ends);
#endif
  (void)simd;
  portable<std::int32_t, integerAt>(text, text + length, starts, count, values, ends);
}

}  // namespace meshtext
