// The parsers of number syntax that the decimal and hexadecimal conversions share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace meshtext {

// Reads an exponent's "[+-]digits" at `pos`. Returns false, consuming nothing, when no digit
// follows the optional sign.
bool readExponent(std::string_view text, std::size_t& pos, std::int64_t& value) noexcept;

// Reads a decimal number (no sign) at `pos` into binary64 bits; returns false, consuming
// nothing, when there is none.
bool readDecimal(std::string_view text, std::size_t& pos, std::uint64_t& bits) noexcept;

}  // namespace meshtext
