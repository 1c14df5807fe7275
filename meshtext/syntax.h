// Pieces of number syntax that the whole-token conversions and the summaries of tokens given in
// pieces share, so that both read a number the same way. Not an interface of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace meshtext::detail {

constexpr bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

constexpr int hexValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr char lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// The characters that may stand between the parentheses of nan(...).
constexpr bool isNanChar(char c) noexcept {
  return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// Exponents beyond this bound are far outside every format's range; saturating there keeps the
// arithmetic on them free of overflow whatever the token's length.
inline constexpr std::int64_t exponentLimit = 1'000'000'000'000;

inline std::int64_t saturatedAdd(std::int64_t a, std::int64_t b) noexcept {
  std::int64_t sum = a + b;  // both operands are kept within a few times exponentLimit
  if (sum > exponentLimit) return exponentLimit;
  if (sum < -exponentLimit) return -exponentLimit;
  return sum;
}

// An index's sign and digits, taken one by one as parseInteger reads them. The magnitude stops
// at 2^31, the first that fits no int32 either way: -2^31 is the least value, and a positive
// 2^31 or more gives the greatest, 2^31 - 1.
struct SaturatedInteger {
  static constexpr std::int64_t bound = std::int64_t{1} << 31;
  bool negative = false;
  std::int64_t magnitude = 0;

  void addDigit(char c) noexcept {
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > bound) magnitude = bound;
  }

  std::int32_t value() const noexcept {
    if (negative) return std::int32_t(-magnitude);
    return std::int32_t(magnitude == bound ? bound - 1 : magnitude);
  }
};

// A hexadecimal significand taken digit by digit, as strtod reads one: its first 16 significant
// digits, the binary exponent that the point and the dropped digits imply, and whether a dropped
// digit was nonzero.
struct HexSignificand {
  std::uint64_t value = 0;
  int digits = 0;
  std::int64_t exponent = 0;
  bool sticky = false;

  void add(int digit, bool afterPoint) noexcept {
    if (value == 0 && digit == 0) {
      if (afterPoint) exponent = saturatedAdd(exponent, -4);
    } else if (digits < 16) {
      value = (value << 4) | std::uint64_t(digit);
      ++digits;
      if (afterPoint) exponent -= 4;
    } else {
      sticky |= digit != 0;
      if (!afterPoint) exponent = saturatedAdd(exponent, 4);
    }
  }
};

// The payload of nan(chars), taken char by char as strtoull(chars, base 0) reads them: in the
// base their first chars say, saturating, and 0 unless every char is a digit of that base.
struct NanPayload {
  int base = 10;
  std::uint64_t value = 0;
  bool saturated = false, valid = true;

  // The base of chars that begin with `start` (their first three, or all if fewer), and how
  // many of those chars are its prefix rather than digits.
  static int baseOf(std::string_view start, std::size_t& prefix) noexcept {
    prefix = 0;
    if (start.size() > 2 && start[0] == '0' && lower(start[1]) == 'x' && hexValue(start[2]) >= 0) {
      prefix = 2;
      return 16;
    }
    return !start.empty() && start[0] == '0' ? 8 : 10;
  }

  void add(char c) noexcept {
    int digit = hexValue(c);
    if (digit < 0 || digit >= base) {
      valid = false;
      return;
    }
    const auto b = std::uint64_t(base);
    if (value > (~std::uint64_t{0} - std::uint64_t(digit)) / b) saturated = true;
    value = value * b + std::uint64_t(digit);
  }

  std::uint64_t result() const noexcept {
    return !valid ? 0 : saturated ? ~std::uint64_t{0} : value;
  }
};

}  // namespace meshtext::detail
