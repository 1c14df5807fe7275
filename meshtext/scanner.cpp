#include "meshtext/scanner.h"

#include <cstring>

#include "meshtext/numbers.h"
#include "words.h"

namespace meshtext {
namespace {

constexpr std::uint64_t powersOf10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
constexpr double inversePowersOf10[] = {1, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7};
// How many double ulps from a float midpoint the exact division takes over: more than the 2.5
// that the multiplication may stray.
constexpr std::uint64_t nearMidpoint = 4;

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
  // A multiplication by the (rounded) inverse power of ten lands within 2.5 double ulps of the
  // correctly rounded quotient. Only where a float rounding boundary (a midpoint between two
  // floats) lies that close could the two round to different floats: there the exact division
  // decides. Every magnitude here is a normal float, whose rounding looks at the double's low
  // 29 fraction bits; a midpoint has them 0x10000000.
  double magnitude = double(mantissa) * inversePowersOf10[decimals];
  std::uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  if ((bits & 0x1FFFFFFFu) - 0x10000000u + nearMidpoint <= 2 * nearMidpoint)
    magnitude = double(mantissa) / exactPowersOf10[decimals];
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

// A token ends at whitespace or at the end of the text; a NUL inside the text does not end it.
inline bool endsAt(const char* p, const char* end) noexcept { return isSpace(*p) || p == end; }

// The token at `start` as a coordinate, in place where its spelling allows; returns its end.
inline const char* coordinateAt(const char* start, const char* end, float& value) noexcept {
  const char* p = start;
  if (quickCoordinate(p, value) && endsAt(p, end)) return p;
  for (p = start; !endsAt(p, end);) ++p;
  value = parseCoordinate(std::string_view(start, std::size_t(p - start)));
  return p;
}

inline const char* integerAt(const char* start, const char* end, std::int32_t& value) noexcept {
  const char* p = start;
  if (quickInteger(p, value) && endsAt(p, end)) return p;
  for (p = start; !endsAt(p, end);) ++p;
  value = parseInteger(std::string_view(start, std::size_t(p - start)));
  return p;
}

}  // namespace

void vertexAt(const char* text, std::size_t length, const std::uint32_t* starts,
              Vertex& vertex) noexcept {
  const char* end = text + length;
  float* values[3] = {&vertex.x, &vertex.y, &vertex.z};
  for (int k = 0; k < 3; ++k) {
    const char* start = text + starts[k];
    vertex.text[k] =
        std::string_view(start, std::size_t(coordinateAt(start, end, *values[k]) - start));
  }
}

void faceAt(const char* text, std::size_t length, const std::uint32_t* starts,
            Face& face) noexcept {
  const char* end = text + length;
  for (int k = 0; k < 3; ++k) {
    const char* start = text + starts[k];
    face.text[k] =
        std::string_view(start, std::size_t(integerAt(start, end, face.value[k]) - start));
    face.index[k] = toIndex(face.value[k]);
  }
}

Scanner::Scanner(const char* text, std::size_t length) noexcept
    : p_(text), end_(text + length) {
  assert(isPadded(text, length));
}

bool Scanner::token(std::string_view& token) noexcept {
  while (isSpace(*p_)) ++p_;  // the NUL at the end stops this
  if (p_ == end_) return false;
  const char* start = p_;
  while (!endsAt(p_, end_)) ++p_;
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
    p = coordinateAt(start, end_, *values[k]);
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
    p = integerAt(start, end_, face.value[k]);
    face.text[k] = std::string_view(start, std::size_t(p - start));
    face.index[k] = toIndex(face.value[k]);
  }
  p_ = p;
  return true;
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
