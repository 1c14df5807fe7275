// Numbers read from tokens that arrive in pieces, for tokens too long to hold: each keeps a
// bounded summary of what it has seen (the sign, the first significant digits and whether any
// later digit is nonzero, the exponent saturated) and gives exactly the value that the
// conversions of meshtext/numbers.h give for the whole token.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace meshtext {

// A count or index, as parseInteger reads the whole token.
class IntegerSummary {
 public:
  IntegerSummary();
  ~IntegerSummary();

  // Takes the token's next piece; the pieces in turn make the whole token.
  void add(std::string_view piece) noexcept;
  // The value of the pieces so far, as parseInteger gives it for them joined.
  std::int32_t value() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A coordinate, as parseCoordinateBits reads the whole token.
class CoordinateSummary {
 public:
  CoordinateSummary();
  ~CoordinateSummary();

  // Takes the token's next piece; the pieces in turn make the whole token.
  void add(std::string_view piece) noexcept;
  // The bits of the pieces so far, as parseCoordinateBits gives them for them joined.
  std::uint32_t bits() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace meshtext
