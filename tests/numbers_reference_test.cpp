// Numbers that every host must read alike: tokens of any length given in pieces, and glibc's
// reading of six thousand tokens of every spelling.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "meshtext/batch.h"
#include "meshtext/index.h"
#include "meshtext/numbers.h"
#include "meshtext/text.h"
#include "pieces.h"
#include "support.h"

using meshtext::parseCoordinateBits;
using meshtext::parseDouble;
using meshtext::parseInteger;
using testing_support::expectSameInPieces;

namespace {

TEST(Summaries, GiveTheWholeTokensValueForTokensOfAnyLength) {
  const std::string many(5000, '7'), zeros(5000, '0');
  const std::string tokens[] = {
      many,
      "-" + many,
      zeros + "1",
      "0." + zeros + many + "e5000",
      many + "e-5000",
      many + "." + many,
      "1" + zeros + "e-5000",
      zeros + "." + zeros,
      "." + zeros + "25e+" + zeros + "3",
      "1e" + many,
      "1e-" + many,
      "0x" + zeros + "1p-" + zeros,
      "0x" + many + "p-20000",
      "0x." + zeros + "8p20000",
      "0x1." + many + "p1",
      "nan(" + many + ")",
      "nan(0x" + many + ")",
      "nan(0" + zeros + "7)",
      "nan(" + many + "z)",
      "nan(" + many,
      "infinity" + many,
      "+" + zeros,
      "-" + zeros + "x",
      "2147483647" + many,
      "-" + many + "9",
      "0x" + zeros,
      "0x." + zeros + "p3",
  };
  for (std::size_t i = 0; i < sizeof tokens / sizeof *tokens; ++i) expectSameInPieces(tokens[i], i);
}

// tests/golden/numbers.tsv: what glibc's strtod and strtol make of six thousand tokens of every
// spelling, near-midpoint decimals included (made by make_number_table.cpp). Every host must
// give the same bits, in the general conversion and in the batch one with each kind of
// instruction.
TEST(Coordinates, MatchTheReferenceTableOnEveryHost) {
  std::istringstream table(testing_support::goldenText("numbers.tsv"));
  std::string line;
  std::vector<std::string> tokens;
  std::vector<std::uint32_t> floats;
  std::vector<std::int32_t> integers;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string token, doubleHex, consumed, floatHex, integer;
    std::getline(fields, token, '\t');
    std::getline(fields, doubleHex, '\t');
    std::getline(fields, consumed, '\t');
    std::getline(fields, floatHex, '\t');
    std::getline(fields, integer, '\t');
    meshtext::DoubleParse parsed = parseDouble(token);
    ASSERT_EQ(parsed.bits, std::stoull(doubleHex, nullptr, 16)) << token;
    ASSERT_EQ(parsed.consumed, std::stoull(consumed)) << token;
    ASSERT_EQ(parseCoordinateBits(token), std::stoul(floatHex, nullptr, 16)) << token;
    ASSERT_EQ(parseInteger(token), std::stol(integer)) << token;
    expectSameInPieces(token, tokens.size());
    tokens.push_back(token);
    floats.push_back(std::uint32_t(std::stoul(floatHex, nullptr, 16)));
    integers.push_back(std::int32_t(std::stol(integer)));
  }
  ASSERT_GT(tokens.size(), 6000u);

  std::string text;
  for (const std::string& token : tokens) text += token + "\n";
  const meshtext::PaddedText padded(text);
  std::vector<std::uint32_t> starts(meshtext::indexCapacity(text.size())), bits(tokens.size()),
      ends(tokens.size());
  std::vector<std::int32_t> values(tokens.size());
  starts.resize(meshtext::indexTokens(padded.data(), padded.size(), true, starts.data()));
  ASSERT_EQ(starts.size(), tokens.size());
  for (meshtext::Simd simd : {meshtext::Simd::portable, meshtext::bestSimd()}) {
    meshtext::coordinateTokens(padded.data(), padded.size(), starts.data(), starts.size(),
                               bits.data(), ends.data(), simd);
    meshtext::integerTokens(padded.data(), padded.size(), starts.data(), starts.size(),
                            values.data(), ends.data(), simd);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      ASSERT_EQ(bits[i], floats[i]) << tokens[i];
      ASSERT_EQ(values[i], integers[i]) << tokens[i];
    }
  }
}

}  // namespace
