#include "meshtext/reader.h"

#include "meshtext/batch.h"
#include "meshtext/index.h"
#include "meshtext/mesh.h"
#include "meshtext/numbers.h"
#include "meshtext/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every token of `text`, read `perRead` at a time through reads of `readSize` bytes.
std::vector<std::string> tokensOf(const std::string& text, std::size_t readSize,
                                  std::size_t perRead = 3) {
  std::stringbuf input(text);
  meshtext::Reader reader(input, readSize);
  std::vector<std::string> tokens;
  std::string_view found[3];
  for (;;) {
    std::size_t n = reader.readTokens(found, perRead);
    for (std::size_t i = 0; i < n; ++i) tokens.emplace_back(found[i]);
    if (n < perRead) return tokens;
  }
}

TEST(Tokens, AreTheSameWhereverTheBlocksEnd) {
  const std::string inputs[] = {
      "3 1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n",
      "  \t3\r\n1\r\n\v\f0.5   -0.25e+2 x9\r\n",
      "12345678901234567890 a bb ccc dddd eeeee",
      "",
      " \n\t\r\v\f ",
  };
  for (const std::string& text : inputs) {
    const auto expected = tokensOf(text, 1 << 16);
    for (std::size_t block : {1, 2, 3, 5, 7}) {
      for (std::size_t perRead : {1, 2, 3}) {
        EXPECT_EQ(tokensOf(text, block, perRead), expected)
            << "block " << block << ", per read " << perRead << ": " << text;
      }
    }
  }
  EXPECT_EQ(tokensOf("a\tb\nc\vd\fe\rf g", 4),
            (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
}

TEST(Tokens, AreReadWholeWhateverTheirLength) {
  std::string giant(1 << 20, '7');
  std::string withNul("1\0002", 3);
  auto tokens = tokensOf(" " + giant + "\n" + withNul + " " + giant + "x", 4096);
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0], giant);
  EXPECT_EQ(tokens[1], withNul);
  EXPECT_EQ(tokens[2], giant + "x");
}

// The token index, made with every kind of instruction this host has, against one byte at a
// time.
TEST(Tokens, AreIndexedAlikeWhateverTheInstructions) {
  std::mt19937 rng(13);
  const char bytes[] = {' ', '\t', '\n',   '\v',   '\f',   '\r', 'a',
                        '7', '\0', '\x80', '\xFF', '\x1F', '!'};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (std::size_t n = rng() % 700; n > 0; --n) text += bytes[rng() % (rng() % 2 ? 13 : 7)];
    const bool afterSpace = rng() % 2;
    std::vector<std::uint32_t> expected;
    for (std::size_t i = 0; i < text.size(); ++i)
      if (!meshtext::isSpace(text[i]) && (i ? meshtext::isSpace(text[i - 1]) : afterSpace))
        expected.push_back(std::uint32_t(i));
    for (meshtext::Simd simd :
         {meshtext::Simd::portable, meshtext::Simd::sse2, meshtext::Simd::avx2}) {
      std::vector<std::uint32_t> starts(meshtext::indexCapacity(text.size()));
      starts.resize(
          meshtext::indexTokens(text.data(), text.size(), afterSpace, starts.data(), simd));
      ASSERT_EQ(starts, expected) << int(simd) << ": " << text;
    }
  }
}

TEST(Tokens, CrLfReadsAsLf) {
  EXPECT_EQ(tokensOf("3 1\r\n0 0 0\r\n", 3), tokensOf("3 1\n0 0 0\n", 3));
}

TEST(Records, ReportHowManyTokensTheyFound) {
  std::stringbuf input("4 -1 0.1 2 3 5 6 7 65536 -2 9");
  meshtext::Reader reader(input, 2);
  meshtext::Counts counts;
  ASSERT_EQ(reader.readCounts(counts), 2u);
  EXPECT_EQ(counts.vertexCount, 4);
  EXPECT_EQ(counts.faceCount, -1);

  meshtext::Vertex vertex;
  ASSERT_EQ(reader.readVertex(vertex), 3u);
  EXPECT_EQ(vertex.text[0], "0.1");
  EXPECT_EQ(vertex.x, 0.1f);
  EXPECT_EQ(vertex.z, 3.0f);

  meshtext::Face face;
  ASSERT_EQ(reader.readFace(face), 3u);
  EXPECT_EQ(face.text[2], "7");
  ASSERT_EQ(reader.readFace(face), 3u);
  EXPECT_EQ(face.value[0], 65536);
  EXPECT_EQ(face.index[0], 0);
  EXPECT_EQ(face.index[1], 0xFFFE);
  EXPECT_EQ(reader.readFace(face), 0u);
  EXPECT_EQ(reader.readFace(face), 0u);
}

TEST(Records, StopShortAtTheEndOfTheInput) {
  std::stringbuf one("12");
  meshtext::Counts counts;
  EXPECT_EQ(meshtext::Reader(one).readCounts(counts), 1u);
  EXPECT_EQ(counts.vertexCount, 12);

  std::stringbuf partial("1 2 \n");
  meshtext::Face face;
  EXPECT_EQ(meshtext::Reader(partial).readFace(face), 2u);
}

}  // namespace

// Records are converted in place while scanning where their spelling allows; this checks that
// path against the general conversion, which the number tests check against the C library.
class InPlaceConversion : public ::testing::Test {
 protected:
  std::uint64_t pick(std::uint64_t n) { return rng() % n; }
  std::string digits(std::uint64_t n) {
    std::string s;
    while (n--) s += char('0' + pick(10));
    return s;
  }
  std::string token() {
    std::string sign = pick(3) == 0 ? std::string(1, "+-"[pick(2)]) : "";
    switch (pick(6)) {
      case 0:  // near a float midpoint, in as few digits as the fast path takes
      {
        std::uint32_t bits = std::uint32_t(rng()) % 0x4B000000u;
        float low, high;
        std::uint32_t next = bits + 1;
        std::memcpy(&low, &bits, sizeof low);
        std::memcpy(&high, &next, sizeof high);
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", int(pick(8)), ((double)low + (double)high) / 2);
        return sign + text;
      }
      case 1:
        return sign + digits(pick(9)) + "." + digits(pick(9));
      case 2:
        return sign + digits(1 + pick(9));
      case 3:
        return sign + digits(pick(4)) + "." + digits(pick(4)) + "e" + digits(1 + pick(2));
      case 4:
        return sign + std::string(pick(12), '0') + "." + digits(pick(8));
      default: {
        const char* odd[] = {"inf", "nan", "0x1p3", ".",  "-",     "1.5x",
                             "7a",  "+.5", "5.",    "1e", "1.2.3", "12..5"};
        return sign + odd[pick(12)];
      }
    }
  }
  void SetUp() override {
    for (int i = 0; i < 60000; ++i) {
      tokens.push_back(token());
      text += tokens.back() + (i % 3 == 2 ? "\n" : pick(2) ? " " : "\t ");
    }
  }
  std::mt19937_64 rng{42};
  std::vector<std::string> tokens;
  std::string text = "0 0\n";
};

TEST_F(InPlaceConversion, AgreesWithTheGeneralConversionAsVertices) {
  std::uint32_t vertexCount = std::uint32_t(tokens.size() / 3);
  for (std::size_t block :
       {std::size_t{64}, std::size_t{4096}, meshtext::Reader::defaultReadSize}) {
    std::stringbuf input(text);
    meshtext::Reader reader(input, block);
    meshtext::Counts counts;
    ASSERT_EQ(reader.readCounts(counts), 2u);
    meshtext::Vertex vertex;
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
      ASSERT_EQ(reader.readVertex(vertex), 3u);
      const float values[3] = {vertex.x, vertex.y, vertex.z};
      for (int k = 0; k < 3; ++k) {
        const std::string& t = tokens[v * 3 + k];
        ASSERT_EQ(vertex.text[k], t);
        std::uint32_t bits;
        std::memcpy(&bits, &values[k], sizeof bits);
        ASSERT_EQ(bits, meshtext::parseCoordinateBits(t)) << t << " block " << block;
#ifdef __GLIBC__
        float reference = float(std::strtod(t.c_str(), nullptr));
        std::uint32_t referenceBits;
        std::memcpy(&referenceBits, &reference, sizeof referenceBits);
        ASSERT_EQ(bits, referenceBits) << t;
#endif
      }
    }
  }
}

// The same tokens converted a batch at a time from their starts, with every kind of instruction,
// as coordinates and as indices.
TEST_F(InPlaceConversion, AgreesWithTheGeneralConversionInBatches) {
  const meshtext::PaddedText padded(text);
  std::vector<std::uint32_t> starts(meshtext::indexCapacity(text.size())), bits(tokens.size() + 2),
      ends(tokens.size() + 2);
  std::vector<std::int32_t> values(tokens.size() + 2);
  starts.resize(meshtext::indexTokens(padded.data(), padded.size(), true, starts.data()));
  ASSERT_EQ(starts.size(), tokens.size() + 2);
  for (meshtext::Simd simd :
       {meshtext::Simd::portable, meshtext::Simd::sse2, meshtext::Simd::avx2}) {
    meshtext::coordinateTokens(padded.data(), padded.size(), starts.data(), starts.size(),
                               bits.data(), ends.data(), simd);
    for (std::size_t i = 2; i < tokens.size() + 2; ++i) {
      ASSERT_EQ(bits[i], meshtext::parseCoordinateBits(tokens[i - 2])) << tokens[i - 2];
      ASSERT_EQ(ends[i], starts[i] + tokens[i - 2].size()) << tokens[i - 2];
    }
    meshtext::integerTokens(padded.data(), padded.size(), starts.data(), starts.size(),
                            values.data(), ends.data(), simd);
    for (std::size_t i = 2; i < tokens.size() + 2; ++i) {
      ASSERT_EQ(values[i], meshtext::parseInteger(tokens[i - 2])) << tokens[i - 2];
      ASSERT_EQ(ends[i], starts[i] + tokens[i - 2].size()) << tokens[i - 2];
    }
  }
}

TEST_F(InPlaceConversion, AgreesWithTheGeneralConversionAsFaces) {
  std::stringbuf input(text.substr(4));
  meshtext::Reader reader(input, 4096);
  meshtext::Face face;
  for (std::size_t f = 0; f < tokens.size() / 3; ++f) {
    ASSERT_EQ(reader.readFace(face), 3u);
    for (int k = 0; k < 3; ++k) {
      const std::string& t = tokens[f * 3 + k];
      ASSERT_EQ(face.value[k], meshtext::parseInteger(t)) << t;
#ifdef __GLIBC__
      ASSERT_EQ(face.value[k], std::int32_t(std::strtol(t.c_str(), nullptr, 10))) << t;
#endif
    }
  }
}
