// What a coordinate summary keeps of its token, shared by the reading of its pieces
// (summary.cpp) and the spelling of its value (summary_token.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "meshtext/summary.h"
#include "syntax.h"

namespace meshtext {

class CoordinateSummary::State {
 public:
  enum class Phase : unsigned char {
    start,      // nothing yet
    signed_,    // after the sign
    word,       // inside "inf", "infinity" or "nan"
    nanChars,   // inside nan(...)
    zero,       // a first digit 0: decimal, or the start of "0x"
    hexMark,    // after "0x": hexadecimal if a digit follows
    hexPoint,   // after "0x.": hexadecimal if a digit follows
    hexDigits,  // hexadecimal significand
    decimal,    // decimal digits, before or after the point
    point,      // a point with no digit before it: a number only if a digit follows
    expMark,    // after 'e' or 'p': an exponent only if a digit follows the optional sign
    expSign,    // after the exponent's sign
    expDigits,  // the exponent's digits
    done        // the number, if any, has ended
  };
  enum class Kind : unsigned char { none, zero, decimal, hexadecimal, infinity, nan };
  void add(std::string_view piece) noexcept;
  std::uint32_t bits() const noexcept;

 private:
  static constexpr std::size_t maxDigits = 800;  // as many as the exact conversion reads

  void step(char c) noexcept;
  void startChar(char c) noexcept;
  void wordChar(char c) noexcept;
  void nanChar(char c) noexcept;
  void decimalChar(char c) noexcept;
  void hexChar(char c) noexcept;
  void exponentChar(char c) noexcept;
  void decimalDigit(int digit, bool afterPoint) noexcept;
  void takeNanStart() noexcept;

  Phase phase_ = Phase::start;
  Kind kind_ = Kind::none;
  bool negative_ = false;
  bool afterPoint_ = false;
  bool nanWord_ = false;        // the word is "nan", else "infinity"
  std::size_t wordLength_ = 0;  // characters of it matched

  // nan(chars): the payload, once the first three chars have decided its base.
  char nanStart_[3] = {};
  std::size_t nanLength_ = 0;
  bool nanBaseKnown_ = false, nanClosed_ = false;
  detail::NanPayload nanPayload_;

  // Decimal: significant digits from the first nonzero one, zeros after the last held back.
  char digits_[maxDigits];
  std::size_t digitCount_ = 0;
  bool sticky_ = false;             // a nonzero digit beyond the first maxDigits
  std::uint64_t pendingZeros_ = 0;  // zeros since the last nonzero digit
  std::int64_t pointPosition_ = 0;  // value = 0.digits x 10^pointPosition
  detail::HexSignificand hex_;
  // The exponent after 'e' or 'p', saturated; it counts only once a digit follows the mark.
  bool exponentSeen_ = false;
  bool exponentNegative_ = false;
  std::int64_t exponent_ = 0;
};

}  // namespace meshtext
