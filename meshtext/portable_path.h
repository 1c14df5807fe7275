// The common spellings of coordinates and indices converted in place, a word at a time, with
// the general conversions of meshtext/numbers.h taking over for everything else: the portable
// path of the batch conversions, which the vector versions in batch.cpp match.
#pragma once

#include <cstdint>
#include <cstring>

#include "meshtext/numbers.h"
#include "meshtext/text.h"
#include "word_at_a_time.h"

namespace meshtext {

// The inverse powers of ten that the quick coordinate paths multiply by, each rounded once: up to
// 1e-7 for the portable path (seven decimals at most), up to 1e-13 for the vector one (fifteen
// characters with a point and a digit).
inline constexpr double inversePowersOf10[] = {1,    1e-1, 1e-2,  1e-3,  1e-4,  1e-5,  1e-6, 1e-7,
                                               1e-8, 1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14};

// Scales the digits before the point by the count of those after it, at most seven.
inline constexpr std::uint64_t integerPowersOf10[] = {1,     10,     100,     1000,
                                                      10000, 100000, 1000000, 10000000};

// How many double ulps from a float midpoint the exact division takes over: more than the 2.5
// that the multiplication may stray. The rounded inverse and the rounded product each add a
// relative error of at most 2^-53, together less than 2^-52 of the result, which is under two
// ulps of it (an ulp is at least 2^-53 of any double in its binade); the correctly rounded
// quotient lies within half an ulp of the true one.
inline constexpr std::uint64_t nearMidpoint = 4;

// The float bits of ±mantissa / 10^decimals, rounded first to double and then to float as the
// general conversion rounds them. Requires mantissa < 2^53 (exact as a double), decimals below
// 15 and exactDoubleArithmetic. A multiplication by the rounded inverse power of ten lands within
// 2.5 double ulps of the correctly rounded quotient; only where a float rounding boundary (a
// midpoint between two floats) lies that close could the two round to different floats, and there
// the exact division decides. Every nonzero magnitude here is a normal float, whose rounding looks
// at the double's low 29 fraction bits (52 - 23, masked by 0x1FFFFFFF): a midpoint has them
// 0x10000000, the top one alone. Subtracting that in unsigned arithmetic wraps those below it to
// huge values, so that one comparison asks whether they lie within ±nearMidpoint of it.
inline std::uint32_t decimalFloatBits(std::uint64_t mantissa, unsigned decimals,
                                      bool negative) noexcept {
  double magnitude = double(mantissa) * inversePowersOf10[decimals];
  std::uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  if ((bits & 0x1FFFFFFFu) - 0x10000000u + nearMidpoint <= 2 * nearMidpoint)
    magnitude = double(mantissa) / exactPowersOf10[decimals];
  const float rounded = static_cast<float>(magnitude);
  std::uint32_t result;
  std::memcpy(&result, &rounded, sizeof result);
  return result | (std::uint32_t(negative) << 31);
}

// How many of the word's bytes, from the first, are decimal digits. XOR with '0' (0x30) turns
// the digits, and only them, into 0..9; any other byte either has its top bit set, which `| x`
// keeps, or its low seven bits at 10 or more, which adding 0x76 (0x7F - 9) carries into the top
// bit. The sum is at most 0x7F + 0x76 = 0xF5, so no carry reaches the next byte and each byte is
// judged alone; the lowest top bit left marks the first byte that is not a digit.
inline int digitRun(std::uint64_t word) noexcept {
  std::uint64_t x = word ^ 0x3030303030303030u;
  std::uint64_t nonDigit =
      (((x & 0x7F7F7F7F7F7F7F7Fu) + 0x7676767676767676u) | x) & 0x8080808080808080u;
  return nonDigit ? trailingZeros(nonDigit) >> 3 : 8;
}

// The value of the word's first `count` bytes (1 to 8), all decimal digits. The shift moves them
// to the top of the word behind zero bytes, which read as leading zeros, and the mask 0x0F turns
// each character into its digit. The word holds the first digit lowest, so each step combines a
// pair of adjacent fields, the lower one the more significant, by multiplying by
// (weight << width) + 1: the sum lands in the upper field and is shifted down into the lower.
// Every sum fits its field, so no carry spoils the next pair:
//   2561           = 10 << 8 | 1      bytes into two-digit values    (at most 99 in 8 bits)
//   6553601        = 100 << 16 | 1    those into four-digit values   (at most 9999 in 16 bits)
//   42949672960001 = 10000 << 32 | 1  those into the eight-digit one (below 2^32)
// The masks between the steps clear the upper field of each pair, which held a partial sum.
inline std::uint32_t digitsValue(std::uint64_t word, int count) noexcept {
  std::uint64_t x = (word << (8 * (8 - count))) & 0x0F0F0F0F0F0F0F0Fu;
  x = (x * 2561) >> 8;
  x = ((x & 0x00FF00FF00FF00FFu) * 6553601) >> 16;
  return std::uint32_t(((x & 0x0000FFFF0000FFFFu) * 42949672960001u) >> 32);
}

// Moves `q` past a sign, if one stands there; true if it was '-'.
inline bool skipSign(const char*& q) noexcept {
  const bool negative = *q == '-';
  if (negative || *q == '+') ++q;
  return negative;
}

// The common coordinate spelling, [sign]digits[.digits] with at most 7 digits on either side of
// the point, converted in place. Returns false, for the general conversion to take over, on any
// other spelling. Ends at the first character after the digits; the caller checks that it ends
// the token.
inline bool quickCoordinate(const char*& p, std::uint32_t& bits) noexcept {
  const char* q = p;
  const bool negative = skipSign(q);
  std::uint64_t word = load8(q);
  int digits = digitRun(word);
  if (digits == 8) return false;  // the run may go on past the word
  std::uint64_t mantissa = digits ? digitsValue(word, digits) : 0;
  q += digits;
  int decimals = 0;
  if (*q == '.') {
    word = load8(++q);
    decimals = digitRun(word);
    if (decimals == 8) return false;
    if (decimals) mantissa = mantissa * integerPowersOf10[decimals] + digitsValue(word, decimals);
    q += decimals;
  }
  // At most 14 digits: the mantissa is below 10^14 < 2^53 and exact as a double.
  if (!exactDoubleArithmetic || digits + decimals == 0) return false;
  bits = decimalFloatBits(mantissa, unsigned(decimals), negative);
  p = q;
  return true;
}

// The common index spelling, [sign] and at most 7 digits, far inside the int32 range. Returns
// false, for the general conversion to take over, on any other spelling.
inline bool quickInteger(const char*& p, std::int32_t& value) noexcept {
  const char* q = p;
  const bool negative = skipSign(q);
  std::uint64_t word = load8(q);
  int digits = digitRun(word);
  if (digits == 0 || digits == 8) return false;
  auto magnitude = std::int32_t(digitsValue(word, digits));
  value = negative ? -magnitude : magnitude;
  p = q + digits;
  return true;
}

// A token ends at whitespace or at the end of the text; a NUL inside the text does not end it.
inline bool endsAt(const char* p, const char* end) noexcept { return isSpace(*p) || p == end; }

// The end of the token that starts at `p`.
inline const char* tokenEnd(const char* p, const char* end) noexcept {
  while (!endsAt(p, end)) ++p;
  return p;
}

// The token at `start`, converted in place by `quick` where its spelling allows and by the
// general conversion `general` otherwise; returns its end.
template <typename Value, bool (*quick)(const char*&, Value&) noexcept,
          Value (*general)(std::string_view) noexcept>
inline const char* tokenAt(const char* start, const char* end, Value& value) noexcept {
  const char* p = start;
  if (quick(p, value) && endsAt(p, end)) return p;
  p = tokenEnd(start, end);
  value = general(std::string_view(start, std::size_t(p - start)));
  return p;
}

// The token at `start` as a coordinate; returns its end.
inline const char* coordinateAt(const char* start, const char* end, std::uint32_t& bits) noexcept {
  return tokenAt<std::uint32_t, quickCoordinate, parseCoordinateBits>(start, end, bits);
}

// The token at `start` as an index; returns its end.
inline const char* integerAt(const char* start, const char* end, std::int32_t& value) noexcept {
  return tokenAt<std::int32_t, quickInteger, parseInteger>(start, end, value);
}

}  // namespace meshtext
