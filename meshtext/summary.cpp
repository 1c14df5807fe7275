#include "meshtext/summary.h"

#include <algorithm>

#include "summary_state.h"
#include "syntax.h"

namespace meshtext {

using namespace detail;

struct IntegerSummary::State {
  enum class Phase : unsigned char { start, digits, done };
  Phase phase = Phase::start;
  SaturatedInteger integer;
};

IntegerSummary::IntegerSummary() : state_(new State) {}
IntegerSummary::~IntegerSummary() = default;

void IntegerSummary::add(std::string_view piece) noexcept {
  State& s = *state_;
  for (char c : piece) {
    if (s.phase == State::Phase::start && (c == '+' || c == '-')) {
      s.integer.negative = c == '-';
      s.phase = State::Phase::digits;
    } else if (s.phase != State::Phase::done && isDigit(c)) {
      s.integer.addDigit(c);
      s.phase = State::Phase::digits;
    } else {
      s.phase = State::Phase::done;
      return;
    }
  }
}

std::int32_t IntegerSummary::value() const noexcept { return state_->integer.value(); }

CoordinateSummary::CoordinateSummary() : state_(new State) {}
CoordinateSummary::~CoordinateSummary() = default;

void CoordinateSummary::add(std::string_view piece) noexcept { state_->add(piece); }

std::uint32_t CoordinateSummary::bits() const noexcept { return state_->bits(); }

namespace {

// Counts of digits stay far from overflow however long the token: beyond this they cannot move
// a value that has long since saturated.
constexpr std::int64_t positionLimit = 4 * exponentLimit;

}  // namespace

void CoordinateSummary::State::add(std::string_view piece) noexcept {
  for (std::size_t i = 0; i < piece.size() && phase_ != Phase::done;) {
    if (phase_ == Phase::decimal && digitCount_ == maxDigits) {
      // Once the digits kept are full, a run of digits counts only by its length and by whether
      // any of it is nonzero: a long token is summed up at the speed of a scan.
      std::size_t run = i;
      bool nonZero = false;
      for (; run < piece.size() && isDigit(piece[run]); ++run) nonZero |= piece[run] != '0';
      if (!afterPoint_)
        pointPosition_ =
            std::min<std::int64_t>(pointPosition_ + std::int64_t(run - i), positionLimit);
      sticky_ |= nonZero;
      i = run;
      if (i == piece.size()) break;
    }
    step(piece[i++]);
  }
}

void CoordinateSummary::State::step(char c) noexcept {
  switch (phase_) {
    case Phase::start:
    case Phase::signed_:
      return startChar(c);
    case Phase::word:
      return wordChar(c);
    case Phase::nanChars:
      return nanChar(c);
    case Phase::zero:
    case Phase::decimal:
    case Phase::point:
      return decimalChar(c);
    case Phase::hexMark:
    case Phase::hexPoint:
    case Phase::hexDigits:
      return hexChar(c);
    case Phase::expMark:
    case Phase::expSign:
    case Phase::expDigits:
      return exponentChar(c);
    case Phase::done:
      return;
  }
}

// The sign, then what kind of number the first character starts.
void CoordinateSummary::State::startChar(char c) noexcept {
  if (phase_ == Phase::start && (c == '+' || c == '-')) {
    negative_ = c == '-';
    phase_ = Phase::signed_;
  } else if (lower(c) == 'i' || lower(c) == 'n') {
    nanWord_ = lower(c) == 'n';
    phase_ = Phase::word;
    wordChar(c);
  } else if (c == '0') {
    kind_ = Kind::zero;
    phase_ = Phase::zero;
  } else if (isDigit(c)) {
    phase_ = Phase::decimal;
    decimalDigit(c - '0', false);
  } else {
    phase_ = c == '.' ? Phase::point : Phase::done;
  }
}

void CoordinateSummary::State::decimalChar(char c) noexcept {
  if (phase_ == Phase::zero && lower(c) == 'x') {
    phase_ = Phase::hexMark;
  } else if (phase_ == Phase::point) {
    // A point with no digit before it is a number only if a digit follows.
    afterPoint_ = true;
    phase_ = isDigit(c) ? Phase::decimal : Phase::done;
    if (isDigit(c)) decimalDigit(c - '0', true);
  } else if (isDigit(c)) {
    phase_ = Phase::decimal;
    decimalDigit(c - '0', afterPoint_);
  } else if (c == '.' && !afterPoint_) {
    phase_ = Phase::decimal;
    afterPoint_ = true;
  } else {
    phase_ = lower(c) == 'e' ? Phase::expMark : Phase::done;
  }
}

void CoordinateSummary::State::hexChar(char c) noexcept {
  const int digit = hexValue(c);
  if (phase_ == Phase::hexDigits) {
    if (c == '.' && !afterPoint_)
      afterPoint_ = true;
    else if (digit >= 0)
      hex_.add(digit, afterPoint_);
    else
      phase_ = lower(c) == 'p' ? Phase::expMark : Phase::done;
  } else if (c == '.' && phase_ == Phase::hexMark) {
    phase_ = Phase::hexPoint;
  } else if (digit >= 0) {
    afterPoint_ = phase_ == Phase::hexPoint;
    kind_ = Kind::hexadecimal;
    phase_ = Phase::hexDigits;
    hex_.add(digit, afterPoint_);
  } else {
    phase_ = Phase::done;  // no hexadecimal digit: the number was the 0 before the x
  }
}

void CoordinateSummary::State::exponentChar(char c) noexcept {
  if (phase_ == Phase::expMark && (c == '+' || c == '-')) {
    exponentNegative_ = c == '-';
    phase_ = Phase::expSign;
  } else if (isDigit(c)) {
    phase_ = Phase::expDigits;
    exponentSeen_ = true;
    if (exponent_ < exponentLimit) exponent_ = exponent_ * 10 + (c - '0');
  } else {
    phase_ = Phase::done;
  }
}

void CoordinateSummary::State::wordChar(char c) noexcept {
  const std::string_view word = nanWord_ ? "nan" : "infinity";
  if (wordLength_ < word.size() && lower(c) == word[wordLength_]) {
    if (++wordLength_ == 3) kind_ = nanWord_ ? Kind::nan : Kind::infinity;
    return;
  }
  phase_ = kind_ == Kind::nan && c == '(' ? Phase::nanChars : Phase::done;
}

void CoordinateSummary::State::nanChar(char c) noexcept {
  const bool closes = c == ')';
  if (closes || !isNanChar(c)) {
    if (closes && !nanBaseKnown_) takeNanStart();  // fewer than three chars
    nanClosed_ = closes && nanLength_ == 0 && nanBaseKnown_;
    phase_ = Phase::done;
    return;
  }
  if (nanBaseKnown_) {
    nanPayload_.add(c);
    return;
  }
  nanStart_[nanLength_++] = c;
  if (nanLength_ == 3) takeNanStart();
}

// The first chars of nan(...) decide the base of the rest; then they are taken as digits.
void CoordinateSummary::State::takeNanStart() noexcept {
  std::size_t prefix;
  const std::string_view start(nanStart_, nanLength_);
  nanPayload_.base = detail::NanPayload::baseOf(start, prefix);
  nanBaseKnown_ = !start.empty();  // nan() has no payload
  for (char c : start.substr(prefix)) nanPayload_.add(c);
  nanLength_ = 0;
}

void CoordinateSummary::State::decimalDigit(int digit, bool afterPoint) noexcept {
  if (kind_ == Kind::none) kind_ = Kind::zero;
  const bool seenNonZero = digitCount_ > 0;
  if (!seenNonZero && digit == 0) {
    if (afterPoint && pointPosition_ > -positionLimit) --pointPosition_;
    return;
  }
  kind_ = Kind::decimal;
  if (!afterPoint && pointPosition_ < positionLimit) ++pointPosition_;
  if (digit == 0) {
    ++pendingZeros_;
    return;
  }
  for (; pendingZeros_ > 0 && digitCount_ < maxDigits; --pendingZeros_)
    digits_[digitCount_++] = '0';
  if (digitCount_ < maxDigits)
    digits_[digitCount_++] = char('0' + digit);
  else
    sticky_ = true;
  pendingZeros_ = 0;
}

}  // namespace meshtext
