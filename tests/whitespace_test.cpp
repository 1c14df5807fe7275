// Every path that looks for whitespace, byte by byte, word at a time or with vectors, must split
// tokens where isSpace does, for every one of the 256 byte values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "meshtext/batch.h"
#include "meshtext/index.h"
#include "meshtext/text.h"

namespace {

constexpr meshtext::Simd everySimd[] = {meshtext::Simd::portable, meshtext::Simd::sse2,
                                        meshtext::Simd::avx2};

// Byte b stands between two digits at offset 4b + 1 of "1b1 1b1 ...", long enough for every
// kernel: it splits "1b1" in two only if it is whitespace.
std::string everyByteBetweenDigits() {
  std::string text;
  for (int b = 0; b < 256; ++b) text += {'1', char(b), '1', ' '};
  return text;
}

TEST(Whitespace, TheIndexSplitsTokensWhereIsSpaceDoes) {
  const meshtext::PaddedText text(everyByteBetweenDigits());
  std::vector<std::uint32_t> expected;
  bool previousSpace = true;
  for (std::uint32_t i = 0; i < text.size(); ++i) {
    const bool space = meshtext::isSpace(text.data()[i]);
    if (!space && previousSpace) expected.push_back(i);
    previousSpace = space;
  }
  for (meshtext::Simd simd : everySimd) {
    std::vector<std::uint32_t> starts(meshtext::indexCapacity(text.size()));
    starts.resize(meshtext::indexTokens(text.data(), text.size(), true, starts.data(), simd));
    EXPECT_EQ(starts, expected) << int(simd);
  }
}

TEST(Whitespace, TheBatchConversionsEndTokensWhereIsSpaceDoes) {
  const meshtext::PaddedText text(everyByteBetweenDigits());
  std::vector<std::uint32_t> starts, expected;
  for (std::uint32_t b = 0; b < 256; ++b) {
    starts.push_back(4 * b);
    expected.push_back(4 * b + (meshtext::isSpace(char(b)) ? 1 : 3));
  }
  std::vector<std::uint32_t> bits(256), ends(256);
  std::vector<std::int32_t> values(256);
  for (meshtext::Simd simd : everySimd) {
    meshtext::coordinateTokens(text.data(), text.size(), starts.data(), 256, bits.data(),
                               ends.data(), simd);
    EXPECT_EQ(ends, expected) << "coordinates " << int(simd);
    meshtext::integerTokens(text.data(), text.size(), starts.data(), 256, values.data(),
                            ends.data(), simd);
    EXPECT_EQ(ends, expected) << "indices " << int(simd);
  }
}

}  // namespace
