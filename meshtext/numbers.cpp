#include "meshtext/numbers.h"

#include <cstring>
#include <limits>

#include "parsers.h"
#include "rounding.h"
#include "syntax.h"

static_assert(std::numeric_limits<double>::is_iec559 && std::numeric_limits<float>::is_iec559,
              "coordinates are stored as IEEE 754 binary32");

namespace meshtext {

using namespace detail;
namespace {

// True when `text` starts at `pos` with `word` (lower case), ignoring case.
bool startsWithNoCase(std::string_view text, std::size_t pos, std::string_view word) noexcept {
  if (text.size() - pos < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (lower(text[pos + i]) != word[i]) return false;
  return true;
}

// Reads "0x" and a hexadecimal significand with an optional binary exponent at `pos`; returns
// false, consuming nothing, when no hexadecimal digit follows the prefix.
bool readHexadecimal(std::string_view text, std::size_t& pos, std::uint64_t& bits) noexcept {
  std::size_t i = pos + 2;
  HexSignificand significand;
  bool anyDigit = false;
  bool afterPoint = false;
  for (; i < text.size(); ++i) {
    if (text[i] == '.' && !afterPoint) {
      afterPoint = true;
      continue;
    }
    int digit = hexValue(text[i]);
    if (digit < 0) break;
    anyDigit = true;
    significand.add(digit, afterPoint);
  }
  if (!anyDigit) return false;
  std::int64_t exponent = significand.exponent;
  if (i < text.size() && (text[i] == 'p' || text[i] == 'P')) {
    std::size_t afterP = i + 1;
    std::int64_t binaryExponent = 0;
    if (readExponent(text, afterP, binaryExponent)) {
      i = afterP;
      exponent = saturatedAdd(exponent, binaryExponent);
    }
  }
  pos = i;
  bits = roundToFormat(significand.value, exponent, significand.sticky, binary64);
  return true;
}

// The payload that strtoull(chars, base 0) gives when it reads all of `chars`, else 0: the way
// nan(chars) is given a payload.
std::uint64_t nanPayload(std::string_view chars) noexcept {
  NanPayload payload;
  std::size_t prefix;
  payload.base = NanPayload::baseOf(chars.substr(0, 3), prefix);
  if (chars.empty()) return 0;
  for (char c : chars.substr(prefix)) payload.add(c);
  return payload.result();
}

}  // namespace

std::uint64_t roundToFormat(std::uint64_t significand, std::int64_t exponent, bool sticky,
                            const Format& format) noexcept {
  const std::uint64_t infinity = std::uint64_t(2 * format.maxExponent + 1)
                                 << (format.significandBits - 1);
  if (significand == 0) return 0;
  int lz = leadingZeros(significand);
  significand <<= lz;
  exponent -= lz;
  // The value is now in [2^(exponent+63), 2^(exponent+64)).
  std::int64_t top = exponent + 63;
  if (top > format.maxExponent) return infinity;
  std::int64_t unit =
      (top < format.minExponent ? format.minExponent : top) - (format.significandBits - 1);
  std::int64_t drop = unit - exponent;  // at least 64 - significandBits
  if (drop > 64) return 0;              // less than half the smallest subnormal
  std::uint64_t kept = drop == 64 ? 0 : significand >> drop;
  bool half = drop == 64 || ((significand >> (drop - 1)) & 1);
  bool below = drop == 64 ? (significand << 1) != 0 || sticky
                          : (significand & ((std::uint64_t{1} << (drop - 1)) - 1)) != 0 || sticky;
  if (half && (below || (kept & 1))) ++kept;
  if (top < format.minExponent) return kept;  // subnormal, or the smallest normal after rounding
  // The hidden bit of `kept` adds one to the exponent field, and a carry out of the significand
  // adds one more, which is exactly the renormalisation it needs.
  std::uint64_t bits =
      (std::uint64_t(top + format.maxExponent - 1) << (format.significandBits - 1)) + kept;
  return bits >= infinity ? infinity : bits;
}

bool readExponent(std::string_view text, std::size_t& pos, std::int64_t& value) noexcept {
  std::size_t i = pos;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !isDigit(text[i])) return false;
  std::int64_t magnitude = 0;
  for (; i < text.size() && isDigit(text[i]); ++i)
    if (magnitude < exponentLimit) magnitude = magnitude * 10 + (text[i] - '0');
  value = negative ? -magnitude : magnitude;
  pos = i;
  return true;
}

DoubleParse parseDouble(std::string_view token) noexcept {
  constexpr std::uint64_t signBit = std::uint64_t{1} << 63;
  constexpr std::uint64_t infinityBits = 0x7FF0000000000000u;
  constexpr std::uint64_t quietNan = 0x7FF8000000000000u;
  constexpr std::uint64_t payloadMask = 0x000FFFFFFFFFFFFFu;

  std::size_t pos = 0;
  std::uint64_t sign = 0;
  if (pos < token.size() && (token[pos] == '+' || token[pos] == '-'))
    sign = token[pos++] == '-' ? signBit : 0;

  DoubleParse result;
  std::uint64_t bits = 0;
  if (startsWithNoCase(token, pos, "inf")) {
    pos += startsWithNoCase(token, pos, "infinity") ? 8 : 3;
    bits = infinityBits;
  } else if (startsWithNoCase(token, pos, "nan")) {
    pos += 3;
    bits = quietNan;
    if (pos < token.size() && token[pos] == '(') {
      std::size_t close = pos + 1;
      while (close < token.size() && isNanChar(token[close])) ++close;
      if (close < token.size() && token[close] == ')') {
        bits |= nanPayload(token.substr(pos + 1, close - pos - 1)) & payloadMask;
        pos = close + 1;
      }
    }
  } else if (token.size() - pos >= 2 && token[pos] == '0' && lower(token[pos + 1]) == 'x' &&
             readHexadecimal(token, pos, bits)) {
  } else if (!readDecimal(token, pos, bits)) {
    return result;  // no number at all: the sign alone is not consumed
  }
  result.bits = bits | sign;
  result.consumed = pos;
  return result;
}

std::uint32_t roundToFloatBits(std::uint64_t doubleBits) noexcept {
  std::uint32_t sign = std::uint32_t(doubleBits >> 63) << 31;
  std::uint32_t field = std::uint32_t(doubleBits >> 52) & 0x7FFu;
  std::uint64_t fraction = doubleBits & 0x000FFFFFFFFFFFFFu;
  if (field == 0x7FF) {
    if (fraction == 0) return sign | 0x7F800000u;
    return sign | 0x7FC00000u | std::uint32_t(fraction >> 29);
  }
  std::uint64_t significand = field ? (fraction | (std::uint64_t{1} << 52)) : fraction;
  std::int64_t exponent = std::int64_t(field ? field : 1) - 1075;
  return sign | std::uint32_t(roundToFormat(significand, exponent, false, binary32));
}

std::uint32_t parseCoordinateBits(std::string_view token) noexcept {
  return roundToFloatBits(parseDouble(token).bits);
}

float parseCoordinate(std::string_view token) noexcept {
  std::uint32_t bits = parseCoordinateBits(token);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::int32_t parseInteger(std::string_view token) noexcept {
  std::size_t i = 0;
  SaturatedInteger integer;
  if (i < token.size() && (token[i] == '+' || token[i] == '-'))
    integer.negative = token[i++] == '-';
  for (; i < token.size() && isDigit(token[i]); ++i) integer.addDigit(token[i]);
  return integer.value();
}

}  // namespace meshtext
