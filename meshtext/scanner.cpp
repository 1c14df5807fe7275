#include "meshtext/scanner.h"

#include <cstring>

#include "meshtext/numbers.h"
#include "quick.h"

namespace meshtext {
namespace {

float floatOf(std::uint32_t bits) noexcept {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

Scanner::Scanner(const char* text, std::size_t length) noexcept : p_(text), end_(text + length) {
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
  std::uint32_t bits[3];
  for (int k = 0; k < 3; ++k) {
    while (isSpace(*p)) ++p;
    if (p == end_) return false;
    const char* start = p;
    p = coordinateAt(start, end_, bits[k]);
    vertex.text[k] = std::string_view(start, std::size_t(p - start));
  }
  vertex.x = floatOf(bits[0]);
  vertex.y = floatOf(bits[1]);
  vertex.z = floatOf(bits[2]);
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
