#include "meshtext/numbers.h"

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "words.h"

static_assert(std::numeric_limits<double>::is_iec559 && std::numeric_limits<float>::is_iec559,
              "coordinates are stored as IEEE 754 binary32");

namespace meshtext {
namespace {

// ---------------------------------------------------------------------------------------------
// Characters

constexpr bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

constexpr int hexValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr char lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// True when `text` starts at `pos` with `word` (lower case), ignoring case.
bool startsWithNoCase(std::string_view text, std::size_t pos, std::string_view word) noexcept {
  if (text.size() - pos < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (lower(text[pos + i]) != word[i]) return false;
  return true;
}

// Exponents beyond this bound are far outside every format's range; saturating there keeps the
// arithmetic on them free of overflow whatever the token's length.
constexpr std::int64_t exponentLimit = 1'000'000'000'000;

std::int64_t saturatedAdd(std::int64_t a, std::int64_t b) noexcept {
  std::int64_t sum = a + b;  // both operands are kept within a few times exponentLimit
  if (sum > exponentLimit) return exponentLimit;
  if (sum < -exponentLimit) return -exponentLimit;
  return sum;
}

// Reads an exponent's "[+-]digits" at `pos`. Returns false, consuming nothing, when no digit
// follows the optional sign.
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

// ---------------------------------------------------------------------------------------------
// Rounding a binary significand into an IEEE format

struct Format {
  int significandBits;  // including the hidden bit
  int minExponent;      // of the smallest normal number
  int maxExponent;      // of the largest finite number, also the bias
};
constexpr Format binary64{53, -1022, 1023};
constexpr Format binary32{24, -126, 127};

int leadingZeros(std::uint64_t x) noexcept {
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
  std::uint64_t kept;
  bool half;
  bool below;
  if (drop > 64) {
    return 0;  // less than half the smallest subnormal
  } else if (drop == 64) {
    kept = 0;
    half = true;
    below = (significand << 1) != 0 || sticky;
  } else {
    kept = significand >> drop;
    half = (significand >> (drop - 1)) & 1;
    below = (significand & ((std::uint64_t{1} << (drop - 1)) - 1)) != 0 || sticky;
  }
  if (half && (below || (kept & 1))) ++kept;
  if (top < format.minExponent) return kept;  // subnormal, or the smallest normal after rounding
  // The hidden bit of `kept` adds one to the exponent field, and a carry out of the significand
  // adds one more, which is exactly the renormalisation it needs.
  std::uint64_t bits =
      (std::uint64_t(top + format.maxExponent - 1) << (format.significandBits - 1)) + kept;
  return bits >= infinity ? infinity : bits;
}

// ---------------------------------------------------------------------------------------------
// Arbitrary-precision unsigned integers, for the decimal conversions the fast path cannot do

class BigUint {
 public:
  void mulAdd(std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (std::uint32_t& limb : limbs_) {
      std::uint64_t product = std::uint64_t(limb) * factor + carry;
      limb = std::uint32_t(product);
      carry = product >> 32;
    }
    if (carry) limbs_.push_back(std::uint32_t(carry));
  }

  void mulPow5(std::int64_t power) {
    constexpr std::uint32_t pow5to13 = 1220703125u;
    for (; power >= 13; power -= 13) mulAdd(pow5to13, 0);
    std::uint32_t factor = 1;
    for (; power > 0; --power) factor *= 5;
    mulAdd(factor, 0);
  }

  void shiftLeft(std::int64_t bits) {
    if (limbs_.empty() || bits <= 0) return;
    std::size_t whole = std::size_t(bits / 32);
    unsigned part = unsigned(bits % 32);
    if (part) {
      std::uint32_t carry = 0;
      for (std::uint32_t& limb : limbs_) {
        std::uint32_t next = limb >> (32 - part);
        limb = (limb << part) | carry;
        carry = next;
      }
      if (carry) limbs_.push_back(carry);
    }
    limbs_.insert(limbs_.begin(), whole, 0u);
  }

  void shiftRightOne() {
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
      std::uint32_t high = i + 1 < limbs_.size() ? limbs_[i + 1] << 31 : 0u;
      limbs_[i] = (limbs_[i] >> 1) | high;
    }
    trim();
  }

  // Requires *this >= other.
  void subtract(const BigUint& other) {
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
      std::int64_t diff = std::int64_t(limbs_[i]) - borrow -
                          (i < other.limbs_.size() ? std::int64_t(other.limbs_[i]) : 0);
      borrow = diff < 0;
      limbs_[i] = std::uint32_t(diff + (borrow << 32));
    }
    trim();
  }

  bool isZero() const { return limbs_.empty(); }

  std::int64_t bitLength() const {
    if (limbs_.empty()) return 0;
    return std::int64_t(limbs_.size()) * 32 - (leadingZeros(limbs_.back()) - 32);
  }

  // The `count` bits (count <= 64) below bit position `from`, as an integer.
  std::uint64_t bitsBelow(std::int64_t from, int count) const {
    std::uint64_t result = 0;
    for (std::int64_t i = from - 1; i >= from - count; --i)
      result = (result << 1) | (i >= 0 ? bit(i) : 0u);
    return result;
  }

  // True when any bit below position `from` is set.
  bool anyBelow(std::int64_t from) const {
    for (std::size_t i = 0; i < limbs_.size() && std::int64_t(i) * 32 < from; ++i) {
      std::int64_t width = from - std::int64_t(i) * 32;
      std::uint32_t mask = width >= 32 ? ~0u : ((1u << width) - 1);
      if (limbs_[i] & mask) return true;
    }
    return false;
  }

  friend int compare(const BigUint& a, const BigUint& b) {
    if (a.limbs_.size() != b.limbs_.size()) return a.limbs_.size() < b.limbs_.size() ? -1 : 1;
    for (std::size_t i = a.limbs_.size(); i-- > 0;)
      if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    return 0;
  }

 private:
  unsigned bit(std::int64_t i) const {
    std::size_t limb = std::size_t(i / 32);
    return limb < limbs_.size() ? (limbs_[limb] >> (i % 32)) & 1u : 0u;
  }
  void trim() {
    while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
  }
  std::vector<std::uint32_t> limbs_;  // least significant first, no zero limb on top
};

// ---------------------------------------------------------------------------------------------
// Decimal numbers

// Any decimal that is not an exact double midpoint lies on the same side of every midpoint as its
// first 768 significant digits followed by a nonzero digit: midpoints have at most 767.
constexpr std::size_t maxSignificantDigits = 800;

// The exact value digits x 10^power10, rounded into binary64; `digits` holds significant decimal
// digits without leading or trailing zeros. Slow, but exact for every input.
std::uint64_t exactDecimalToBits(const std::string& digits, std::int64_t power10) {
  BigUint value;
  for (std::size_t i = 0; i < digits.size();) {
    std::uint32_t chunk = 0, scale = 1;
    for (int n = 0; n < 9 && i < digits.size(); ++n, ++i) {
      chunk = chunk * 10 + std::uint32_t(digits[i] - '0');
      scale *= 10;
    }
    value.mulAdd(scale, chunk);
  }
  if (power10 >= 0) {
    value.mulPow5(power10);  // and 2^power10 goes into the binary exponent
    std::int64_t length = value.bitLength();
    if (length <= 64)
      return roundToFormat(value.bitsBelow(length, int(length)), power10, false, binary64);
    return roundToFormat(value.bitsBelow(length, 64), power10 + length - 64,
                         value.anyBelow(length - 64), binary64);
  }
  // value / 5^k x 2^-k: long division, scaled so that the quotient has exactly 64 bits.
  BigUint divisor;
  divisor.mulAdd(1, 1);
  divisor.mulPow5(-power10);
  std::int64_t shift = 64 - value.bitLength() + divisor.bitLength();
  BigUint numerator = value;
  BigUint scaledDivisor = divisor;
  numerator.shiftLeft(shift);
  scaledDivisor.shiftLeft(-shift);
  BigUint limit = scaledDivisor;
  limit.shiftLeft(64);
  if (compare(numerator, limit) >= 0) {
    // The quotient would have 65 bits; one bit less of scaling fixes that.
    --shift;
    numerator = value;
    scaledDivisor = divisor;
    numerator.shiftLeft(shift);
    scaledDivisor.shiftLeft(-shift);
  }
  BigUint step = scaledDivisor;
  step.shiftLeft(63);
  std::uint64_t quotient = 0;
  for (int bit = 63; bit >= 0; --bit) {
    if (compare(numerator, step) >= 0) {
      numerator.subtract(step);
      quotient |= std::uint64_t{1} << bit;
    }
    step.shiftRightOne();
  }
  return roundToFormat(quotient, power10 - shift, !numerator.isZero(), binary64);
}

std::uint64_t doubleBits(double value) noexcept {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Reads a decimal number (no sign) at `pos`; returns false, consuming nothing, when there is none.
bool readDecimal(std::string_view text, std::size_t& pos, std::uint64_t& bits) {
  std::size_t i = pos;
  std::size_t intBegin = i;
  while (i < text.size() && isDigit(text[i])) ++i;
  std::size_t intEnd = i;
  std::size_t fracBegin = i, fracEnd = i;
  if (i < text.size() && text[i] == '.') {
    fracBegin = ++i;
    while (i < text.size() && isDigit(text[i])) ++i;
    fracEnd = i;
  }
  if (intEnd == intBegin && fracEnd == fracBegin) return false;
  std::int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t afterE = i + 1;
    if (readExponent(text, afterE, exponent)) i = afterE;
  }
  pos = i;

  // The significant digits run from the first nonzero digit to the last one; pointPosition says
  // where the decimal point stands relative to the first: value = 0.digits x 10^pointPosition.
  std::string_view intPart = text.substr(intBegin, intEnd - intBegin);
  std::string_view fracPart = text.substr(fracBegin, fracEnd - fracBegin);
  std::size_t firstNonZero = intPart.find_first_not_of('0');
  std::int64_t pointPosition;
  if (firstNonZero != std::string_view::npos) {
    intPart.remove_prefix(firstNonZero);
    pointPosition = std::int64_t(intPart.size());
  } else {
    intPart = {};
    std::size_t fracNonZero = fracPart.find_first_not_of('0');
    if (fracNonZero == std::string_view::npos) {
      bits = 0;
      return true;
    }
    fracPart.remove_prefix(fracNonZero);
    pointPosition = -std::int64_t(fracNonZero);
  }
  fracPart = fracPart.substr(0, fracPart.find_last_not_of('0') + 1);
  if (fracPart.empty()) intPart = intPart.substr(0, intPart.find_last_not_of('0') + 1);
  std::size_t digitCount = intPart.size() + fracPart.size();

  std::int64_t magnitude = saturatedAdd(pointPosition, exponent);  // value < 10^magnitude
  if (magnitude > 310) {
    bits = roundToFormat(1, exponentLimit, false, binary64);
    return true;
  }
  if (magnitude < -330) {
    bits = 0;
    return true;
  }
  auto digitAt = [&](std::size_t k) {
    return k < intPart.size() ? intPart[k] : fracPart[k - intPart.size()];
  };

  if (digitCount <= 19) {
    std::uint64_t mantissa = 0;
    for (std::size_t k = 0; k < digitCount; ++k)
      mantissa = mantissa * 10 + std::uint64_t(digitAt(k) - '0');
    std::int64_t power10 = magnitude - std::int64_t(digitCount);
    // Clinger's fast path: both operands exact, so one IEEE operation rounds correctly.
    if (exactDoubleArithmetic && mantissa <= (std::uint64_t{1} << 53) && power10 >= -22 &&
        power10 <= 22) {
      double value = double(mantissa);
      value = power10 < 0 ? value / exactPowersOf10[-power10] : value * exactPowersOf10[power10];
      bits = doubleBits(value);
      return true;
    }
  }
  std::string digits;
  std::size_t used = digitCount < maxSignificantDigits ? digitCount : maxSignificantDigits;
  digits.reserve(used + 1);
  for (std::size_t k = 0; k < used; ++k) digits.push_back(digitAt(k));
  if (used < digitCount) digits.push_back('1');  // the dropped digits end in a nonzero digit
  bits = exactDecimalToBits(digits, magnitude - std::int64_t(digits.size()));
  return true;
}

// ---------------------------------------------------------------------------------------------
// Hexadecimal numbers

// Reads "0x" and a hexadecimal significand with an optional binary exponent at `pos`; returns
// false, consuming nothing, when no hexadecimal digit follows the prefix.
bool readHexadecimal(std::string_view text, std::size_t& pos, std::uint64_t& bits) {
  std::size_t i = pos + 2;
  std::uint64_t significand = 0;
  int significandDigits = 0;
  std::int64_t exponent = 0;
  bool sticky = false;
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
    if (significand == 0 && digit == 0) {
      if (afterPoint) exponent = saturatedAdd(exponent, -4);
    } else if (significandDigits < 16) {
      significand = (significand << 4) | std::uint64_t(digit);
      ++significandDigits;
      if (afterPoint) exponent -= 4;
    } else {
      sticky |= digit != 0;
      if (!afterPoint) exponent = saturatedAdd(exponent, 4);
    }
  }
  if (!anyDigit) return false;
  if (i < text.size() && (text[i] == 'p' || text[i] == 'P')) {
    std::size_t afterP = i + 1;
    std::int64_t binaryExponent = 0;
    if (readExponent(text, afterP, binaryExponent)) {
      i = afterP;
      exponent = saturatedAdd(exponent, binaryExponent);
    }
  }
  pos = i;
  bits = roundToFormat(significand, exponent, sticky, binary64);
  return true;
}

// ---------------------------------------------------------------------------------------------
// NaN payloads

// The payload that strtoull(chars, base 0) gives when it reads all of `chars`, else 0: the way
// nan(chars) is given a payload.
std::uint64_t nanPayload(std::string_view chars) {
  int base = 10;
  std::size_t i = 0;
  if (chars.size() >= 2 && chars[0] == '0' && lower(chars[1]) == 'x' && chars.size() > 2 &&
      hexValue(chars[2]) >= 0) {
    base = 16;
    i = 2;
  } else if (!chars.empty() && chars[0] == '0') {
    base = 8;
  }
  if (i >= chars.size()) return 0;
  std::uint64_t value = 0;
  bool saturated = false;
  for (; i < chars.size(); ++i) {
    int digit = hexValue(chars[i]);
    if (digit < 0 || digit >= base) return 0;
    if (value >
        (std::numeric_limits<std::uint64_t>::max() - std::uint64_t(digit)) / std::uint64_t(base))
      saturated = true;
    value = value * std::uint64_t(base) + std::uint64_t(digit);
  }
  return saturated ? std::numeric_limits<std::uint64_t>::max() : value;
}

constexpr bool isNanChar(char c) noexcept {
  return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

}  // namespace

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
  constexpr std::int64_t bound = std::int64_t{1} << 31;
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  std::int64_t magnitude = 0;
  for (; i < token.size() && isDigit(token[i]); ++i) {
    magnitude = magnitude * 10 + (token[i] - '0');
    if (magnitude > bound) magnitude = bound;
  }
  if (negative) return std::int32_t(-magnitude);
  return std::int32_t(magnitude == bound ? bound - 1 : magnitude);
}

}  // namespace meshtext
