// The value of a coordinate summary: a short token spelled from it, which the whole-token
// conversion reads exactly as it would read the long one.
#include <cstring>

#include "meshtext/numbers.h"
#include "summary_state.h"

namespace meshtext {

using namespace detail;
namespace {

// Appends text to a fixed buffer.
struct Text {
  char* out;
  std::size_t size = 0;
  void add(std::string_view s) noexcept {
    std::memcpy(out + size, s.data(), s.size());
    size += s.size();
  }
  void add(char c) noexcept { out[size++] = c; }
  void addNumber(std::int64_t value) noexcept {
    if (value < 0) add('-');
    std::uint64_t magnitude = value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value);
    char digits[20];
    std::size_t n = 0;
    do digits[n++] = char('0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    while (n > 0) add(digits[--n]);
  }
  void addHex(std::uint64_t value) noexcept {
    char digits[16];
    std::size_t n = 0;
    do digits[n++] = "0123456789abcdef"[value & 15];
    while ((value >>= 4) != 0);
    while (n > 0) add(digits[--n]);
  }
};

}  // namespace

std::uint32_t CoordinateSummary::State::bits() const noexcept {
  char buffer[maxDigits + 64];
  Text text{buffer};
  const std::int64_t exponent = !exponentSeen_ ? 0 : exponentNegative_ ? -exponent_ : exponent_;
  if (kind_ != Kind::none && negative_) text.add('-');
  switch (kind_) {
    case Kind::none:
      break;
    case Kind::zero:
      text.add('0');
      break;
    case Kind::infinity:
      text.add("inf");
      break;
    case Kind::nan: {
      text.add("nan");
      const std::uint64_t value = nanClosed_ ? nanPayload_.result() : 0;
      if (value != 0) {
        text.add("(0x");
        text.addHex(value);
        text.add(')');
      }
      break;
    }
    case Kind::decimal:
      text.add("0.");
      text.add(std::string_view(digits_, digitCount_));
      if (sticky_) text.add('1');
      text.add('e');
      text.addNumber(saturatedAdd(pointPosition_, exponent));
      break;
    case Kind::hexadecimal:
      if (hex_.value == 0) {
        text.add('0');
        break;
      }
      text.add("0x");
      text.addHex(hex_.value);
      if (hex_.sticky) text.add(".1");
      text.add('p');
      text.addNumber(saturatedAdd(hex_.exponent, exponent));
      break;
  }
  return parseCoordinateBits(std::string_view(buffer, text.size));
}

}  // namespace meshtext
