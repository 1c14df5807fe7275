// The conversions give the same bits whatever rounding mode the program that links meshtext has
// set: the fast paths round with the floating-point unit, so they must step aside unless it
// rounds to nearest.
#include <gtest/gtest.h>

#include <cfenv>
#include <random>
#include <string>
#include <vector>

#include "meshtext/batch.h"
#include "meshtext/index.h"
#include "meshtext/numbers.h"
#include "meshtext/summary.h"
#include "meshtext/text.h"

namespace {

// Every coordinate of `tokens` by each way of converting it: the batch conversions with each
// kind of instruction, the whole token (as a double too), and the summary of it.
std::vector<std::uint64_t> everyWay(const std::vector<std::string>& tokens) {
  std::string joined;
  for (const std::string& token : tokens) joined += token + ' ';
  const meshtext::PaddedText text(joined);
  std::vector<std::uint32_t> starts(meshtext::indexCapacity(text.size()));
  const std::size_t count = meshtext::indexTokens(text.data(), text.size(), true, starts.data());
  std::vector<std::uint64_t> all;
  std::vector<std::uint32_t> bits(count), ends(count);
  for (meshtext::Simd simd :
       {meshtext::Simd::portable, meshtext::Simd::sse2, meshtext::Simd::avx2}) {
    meshtext::coordinateTokens(text.data(), text.size(), starts.data(), count, bits.data(),
                               ends.data(), simd);
    all.insert(all.end(), bits.begin(), bits.end());
  }
  for (const std::string& token : tokens) {
    meshtext::CoordinateSummary summary;
    summary.add(token);
    all.push_back(meshtext::parseDouble(token).bits);
    all.push_back(meshtext::parseCoordinateBits(token));
    all.push_back(summary.bits());
  }
  return all;
}

TEST(RoundingModes, GiveTheBitsOfRoundingToNearest) {
  // Short decimals (the vector and word-at-a-time paths), up to 19 digits (the one-operation
  // path of the general conversion), and a float midpoint, where the modes part most often.
  std::vector<std::string> tokens = {"0.1",
                                     "-0.3",
                                     "3.14159",
                                     "1.00000005960464477539",
                                     "123456789012345678",
                                     "9007199254740993e-22",
                                     "1e22"};
  std::mt19937 rng(7);
  for (int i = 0; i < 400; ++i) {
    const std::string whole = std::to_string(rng() % 10000000);
    const std::string fraction = std::to_string(rng() % 10000000);
    tokens.push_back((i % 2 ? "-" : "") + whole + "." + fraction);
  }
  const std::vector<std::uint64_t> nearest = everyWay(tokens);
  const std::pair<int, const char*> modes[] = {
#ifdef FE_UPWARD
      {FE_UPWARD, "upward"},
#endif
#ifdef FE_DOWNWARD
      {FE_DOWNWARD, "downward"},
#endif
#ifdef FE_TOWARDZERO
      {FE_TOWARDZERO, "toward zero"},
#endif
      {FE_TONEAREST, "to nearest"},
  };
  for (const auto& [mode, name] : modes) {
    ASSERT_EQ(std::fesetround(mode), 0) << name;
    const std::vector<std::uint64_t> got = everyWay(tokens);
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(got, nearest) << name;
  }
}

}  // namespace
