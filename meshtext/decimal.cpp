// Decimal numbers: Clinger's fast path where one IEEE operation rounds correctly, and an exact
// big-integer conversion for everything else.
#include <cstring>
#include <string_view>

#include "biguint.h"
#include "parsers.h"
#include "rounding.h"
#include "syntax.h"
#include "word_at_a_time.h"

namespace meshtext {

using namespace detail;
namespace {

// Any decimal that is not an exact double midpoint lies on the same side of every midpoint as its
// first 768 significant digits followed by a nonzero digit: midpoints have at most 767.
constexpr std::size_t maxSignificantDigits = 800;

// value / 5^k x 2^-k for power10 = -k: long division, scaled so that the quotient has exactly 64
// bits, then rounded into binary64.
std::uint64_t divideByPow5(const BigUint& value, std::int64_t power10) noexcept {
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

// The exact value digits x 10^power10, rounded into binary64; `digits` holds significant decimal
// digits without leading or trailing zeros. Slow, but exact for every input.
std::uint64_t exactDecimalToBits(std::string_view digits, std::int64_t power10) noexcept {
  BigUint value;
  for (std::size_t i = 0; i < digits.size();) {
    std::uint32_t chunk = 0, scale = 1;
    for (int n = 0; n < 9 && i < digits.size(); ++n, ++i) {
      chunk = chunk * 10 + std::uint32_t(digits[i] - '0');
      scale *= 10;
    }
    value.mulAdd(scale, chunk);
  }
  if (power10 < 0) return divideByPow5(value, power10);
  value.mulPow5(power10);  // and 2^power10 goes into the binary exponent
  std::int64_t length = value.bitLength();
  if (length <= 64)
    return roundToFormat(value.bitsBelow(length, int(length)), power10, false, binary64);
  return roundToFormat(value.bitsBelow(length, 64), power10 + length - 64,
                       value.anyBelow(length - 64), binary64);
}

std::uint64_t doubleBits(double value) noexcept {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The significant digits of a decimal: from the first nonzero digit to the last one, with the
// point `pointPosition` digits after the first: value = 0.digits x 10^pointPosition.
struct Significand {
  std::string_view intPart, fracPart;
  std::int64_t pointPosition = 0;
  bool zero = false;

  std::size_t size() const noexcept { return intPart.size() + fracPart.size(); }
  char operator[](std::size_t k) const noexcept {
    return k < intPart.size() ? intPart[k] : fracPart[k - intPart.size()];
  }
};

Significand significandOf(std::string_view intPart, std::string_view fracPart) noexcept {
  Significand s;
  std::size_t firstNonZero = intPart.find_first_not_of('0');
  if (firstNonZero != std::string_view::npos) {
    intPart.remove_prefix(firstNonZero);
    s.pointPosition = std::int64_t(intPart.size());
  } else {
    intPart = {};
    std::size_t fracNonZero = fracPart.find_first_not_of('0');
    if (fracNonZero == std::string_view::npos) {
      s.zero = true;
      return s;
    }
    fracPart.remove_prefix(fracNonZero);
    s.pointPosition = -std::int64_t(fracNonZero);
  }
  fracPart = fracPart.substr(0, fracPart.find_last_not_of('0') + 1);
  if (fracPart.empty()) intPart = intPart.substr(0, intPart.find_last_not_of('0') + 1);
  s.intPart = intPart;
  s.fracPart = fracPart;
  return s;
}

std::uint64_t decimalToBits(const Significand& s, std::int64_t exponent) noexcept {
  if (s.zero) return 0;
  std::int64_t magnitude = saturatedAdd(s.pointPosition, exponent);  // value < 10^magnitude
  if (magnitude > 310) return roundToFormat(1, exponentLimit, false, binary64);
  if (magnitude < -330) return 0;
  const std::size_t digitCount = s.size();
  if (digitCount <= 19) {
    std::uint64_t mantissa = 0;
    for (std::size_t k = 0; k < digitCount; ++k)
      mantissa = mantissa * 10 + std::uint64_t(s[k] - '0');
    std::int64_t power10 = magnitude - std::int64_t(digitCount);
    // Clinger's fast path: both operands exact, so one IEEE operation rounds correctly.
    if (exactDoubleArithmetic && mantissa <= (std::uint64_t{1} << 53) && power10 >= -22 &&
        power10 <= 22 && roundsToNearest()) {
      double value = double(mantissa);
      value = power10 < 0 ? value / exactPowersOf10[-power10] : value * exactPowersOf10[power10];
      return doubleBits(value);
    }
  }
  char digits[maxSignificantDigits + 1];
  std::size_t used = digitCount < maxSignificantDigits ? digitCount : maxSignificantDigits;
  for (std::size_t k = 0; k < used; ++k) digits[k] = s[k];
  if (used < digitCount) digits[used++] = '1';  // the dropped digits end in a nonzero digit
  return exactDecimalToBits(std::string_view(digits, used), magnitude - std::int64_t(used));
}

}  // namespace

bool readDecimal(std::string_view text, std::size_t& pos, std::uint64_t& bits) noexcept {
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
  bits = decimalToBits(significandOf(text.substr(intBegin, intEnd - intBegin),
                                     text.substr(fracBegin, fracEnd - fracBegin)),
                       exponent);
  return true;
}

}  // namespace meshtext
