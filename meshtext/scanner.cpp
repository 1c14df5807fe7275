#include "meshtext/scanner.h"

#include "meshtext/numbers.h"
#include "words.h"

namespace meshtext {
namespace {

constexpr std::uint64_t powersOf10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// How many of the word's bytes, from the first, are decimal digits.
inline int digitRun(std::uint64_t word) noexcept {
  std::uint64_t x = word ^ 0x3030303030303030u;  // digits become 0..9
  std::uint64_t nonDigit =
      (((x & 0x7F7F7F7F7F7F7F7Fu) + 0x7676767676767676u) | x) & 0x8080808080808080u;
  return nonDigit ? trailingZeros(nonDigit) >> 3 : 8;
}

// The value of the word's first `count` bytes (1 to 8), all decimal digits: the digits are moved
// to the end of the word, behind zeros, and all eight combined in three multiplications.
inline std::uint32_t digitsValue(std::uint64_t word, int count) noexcept {
  std::uint64_t x = (word << (8 * (8 - count))) & 0x0F0F0F0F0F0F0F0Fu;
  x = (x * 2561) >> 8;
  x = ((x & 0x00FF00FF00FF00FFu) * 6553601) >> 16;
  return std::uint32_t(((x & 0x0000FFFF0000FFFFu) * 42949672960001u) >> 32);
}

// The common coordinate spelling, [sign]digits[.digits] with at most 7 digits on either side of
// the point, converted in place: one exact division rounds correctly, and the cast to float
// rounds that double the way the general conversion does (both to nearest, ties to even). Returns
// false, for the general conversion to take over, on any other spelling. Ends at the first
// character after the digits; the caller checks that it ends the token.
inline bool quickCoordinate(const char*& p, float& value) noexcept {
  const char* q = p;
  bool negative = *q == '-';
  if (*q == '-' || *q == '+') ++q;
  std::uint64_t word = load8(q);
  int digits = digitRun(word);
  if (digits == 8) return false;
  std::uint64_t mantissa = digits ? digitsValue(word, digits) : 0;
  q += digits;
  int decimals = 0;
  if (*q == '.') {
    word = load8(++q);
    decimals = digitRun(word);
    if (decimals == 8) return false;
    if (decimals) mantissa = mantissa * powersOf10[decimals] + digitsValue(word, decimals);
    q += decimals;
  }
  // At most 14 digits: the mantissa is below 2^53 and exact as a double.
  if (!exactDoubleArithmetic || digits + decimals == 0) return false;
  double magnitude = double(mantissa) / exactPowersOf10[decimals];
  value = static_cast<float>(negative ? -magnitude : magnitude);
  p = q;
  return true;
}

// The common index spelling, [sign] and at most 7 digits, far inside the int32 range.
inline bool quickInteger(const char*& p, std::int32_t& value) noexcept {
  const char* q = p;
  bool negative = *q == '-';
  if (*q == '-' || *q == '+') ++q;
  std::uint64_t word = load8(q);
  int digits = digitRun(word);
  if (digits == 0 || digits == 8) return false;
  auto magnitude = std::int32_t(digitsValue(word, digits));
  value = negative ? -magnitude : magnitude;
  p = q + digits;
  return true;
}

// 0x80 in each byte of the word that is a space, \t, \n, \v, \f or \r; 0 elsewhere.
inline std::uint64_t spaceBytes(std::uint64_t word) noexcept {
  constexpr std::uint64_t high = 0x8080808080808080u, low7 = 0x7F7F7F7F7F7F7F7Fu;
  std::uint64_t blank = word ^ 0x2020202020202020u;
  std::uint64_t isBlank = ~(((blank & low7) + low7) | blank) & high;
  std::uint64_t seven = word & low7;
  std::uint64_t atLeast9 = seven + 0x7777777777777777u;
  std::uint64_t atLeast14 = seven + 0x7272727272727272u;
  return isBlank | (atLeast9 & ~atLeast14 & ~word & high);
}

// How many bytes of the word have their top bit set, all other bits being clear: the bits are
// gathered into the top byte by one multiplication, with no carry between bytes.
inline std::size_t countHighBits(std::uint64_t x) noexcept {
  return std::size_t(((x >> 7) * 0x0101010101010101u) >> 56);
}

}  // namespace

Scanner::Scanner(const char* text, std::size_t length) noexcept
    : begin_(text), p_(text), end_(text + length) {
  assert(isPadded(text, length));
}

// A token ends at whitespace or at the end of the text; a NUL inside the text does not end it.
inline bool Scanner::ends(const char* p) const noexcept { return isSpace(*p) || p == end_; }

bool Scanner::token(std::string_view& token) noexcept {
  while (isSpace(*p_)) ++p_;  // the NUL at the end stops this
  if (p_ == end_) return false;
  const char* start = p_;
  while (!ends(p_)) ++p_;
  token = std::string_view(start, std::size_t(p_ - start));
  return true;
}

bool Scanner::vertex(Vertex& vertex) noexcept {
  const char* p = p_;
  float* values[3] = {&vertex.x, &vertex.y, &vertex.z};
  for (int k = 0; k < 3; ++k) {
    while (isSpace(*p)) ++p;
    if (p == end_) return false;
    const char* start = p;
    if (!quickCoordinate(p, *values[k]) || !ends(p)) {
      p = start;
      while (!ends(p)) ++p;
      *values[k] = parseCoordinate(std::string_view(start, std::size_t(p - start)));
    }
    vertex.text[k] = std::string_view(start, std::size_t(p - start));
  }
  p_ = p;
  return true;
}

bool Scanner::face(Face& face) noexcept {
  const char* p = p_;
  for (int k = 0; k < 3; ++k) {
    while (isSpace(*p)) ++p;
    if (p == end_) return false;
    const char* start = p;
    if (!quickInteger(p, face.value[k]) || !ends(p)) {
      p = start;
      while (!ends(p)) ++p;
      face.value[k] = parseInteger(std::string_view(start, std::size_t(p - start)));
    }
    face.text[k] = std::string_view(start, std::size_t(p - start));
    face.index[k] = toIndex(face.value[k]);
  }
  p_ = p;
  return true;
}

std::size_t countTokens(const char* text, std::size_t length) noexcept {
  std::size_t count = 0;
  std::uint64_t spaceBefore = 0x80;  // the start counts as following a space
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    std::uint64_t space = spaceBytes(load8(text + i));
    count += countHighBits(~space & ((space << 8) | spaceBefore) & 0x8080808080808080u);
    spaceBefore = (space >> 56) & 0x80;
  }
  bool previousSpace = spaceBefore != 0;
  for (; i < length; ++i) {
    bool space = isSpace(text[i]);
    count += !space && previousSpace;
    previousSpace = space;
  }
  return count;
}

std::size_t lastTokensStart(const char* text, std::size_t length, std::size_t count) noexcept {
  std::size_t p = length;
  for (; count > 0; --count) {
    while (p > 0 && isSpace(text[p - 1])) --p;
    while (p > 0 && !isSpace(text[p - 1])) --p;
  }
  return p;
}

std::size_t compactTokens(char* text, std::size_t length) noexcept {
  std::size_t out = 0;
  for (std::size_t i = 0; i < length;) {
    if (isSpace(text[i])) {
      while (i < length && isSpace(text[i])) ++i;
      if (out > 0) text[out++] = ' ';
    } else {
      text[out++] = text[i++];
    }
  }
  return out;
}

}  // namespace meshtext
