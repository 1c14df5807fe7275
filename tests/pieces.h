// A check that the number tests share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "meshtext/numbers.h"
#include "meshtext/summary.h"

namespace testing_support {

// The summaries of a token given in pieces, split where `seed` says, against the whole token.
inline void expectSameInPieces(const std::string& token, std::size_t seed) {
  meshtext::CoordinateSummary coordinate;
  meshtext::IntegerSummary integer;
  std::mt19937 rng{std::uint32_t(seed)};
  for (std::size_t at = 0; at < token.size();) {
    std::size_t length = std::min<std::size_t>(token.size() - at, 1 + rng() % 7);
    coordinate.add(std::string_view(token).substr(at, length));
    integer.add(std::string_view(token).substr(at, length));
    at += length;
  }
  ASSERT_EQ(coordinate.bits(), meshtext::parseCoordinateBits(token)) << token;
  ASSERT_EQ(integer.value(), meshtext::parseInteger(token)) << token;
}

}  // namespace testing_support
