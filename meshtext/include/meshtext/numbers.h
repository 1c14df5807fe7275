// Number conversion for mesh text tokens.
//
// Every function here is exact and host-independent: the same token gives the same bits whatever
// the platform's C library, byte order or floating-point unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace meshtext {

// A number read from the front of a token.
struct DoubleParse {
  std::uint64_t bits = 0;    // IEEE 754 binary64 bits of the value
  std::size_t consumed = 0;  // length of the prefix that forms the number; 0 when none does
};

// Reads the longest prefix of `token` that C's strtod accepts in the "C" locale (decimal and
// hexadecimal numbers, inf, infinity, nan, nan(chars)), rounded to nearest, ties to even.
// A token that does not begin with a number gives +0.0 and consumed 0.
DoubleParse parseDouble(std::string_view token) noexcept;

// Rounds a binary64 value to binary32, to nearest, ties to even. A NaN keeps its sign and the top
// of its payload and comes out quiet, as the usual hardware conversion does.
std::uint32_t roundToFloatBits(std::uint64_t doubleBits) noexcept;

// A coordinate: the token read as a double by parseDouble, then rounded to single precision.
std::uint32_t parseCoordinateBits(std::string_view token) noexcept;
float parseCoordinate(std::string_view token) noexcept;

// A count or index read as strtol reads base 10: optional sign, then digits as far as they go;
// no digit gives 0. Values beyond the signed 32-bit range saturate at its bounds.
std::int32_t parseInteger(std::string_view token) noexcept;

// The 16 bits a face index is stored in: the value modulo 65536 (65535 and -1 both give 0xFFFF).
constexpr std::uint16_t toIndex(std::int32_t value) noexcept {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu);
}

// True when toIndex keeps the value as it is.
constexpr bool fitsIndex(std::int32_t value) noexcept { return value >= 0 && value <= 0xFFFF; }

}  // namespace meshtext
