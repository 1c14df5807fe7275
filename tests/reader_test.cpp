#include "meshtext/reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// Every token of `text`, read `perRead` at a time through blocks of `blockSize` bytes.
std::vector<std::string> tokensOf(const std::string& text, std::size_t blockSize,
                                  std::size_t perRead = 3) {
  std::stringbuf input(text);
  meshtext::Reader reader(input, blockSize);
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
