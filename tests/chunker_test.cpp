// Blocks cut into whole records, one block's carry handed to the next, must hold exactly the
// records that splitting the whole text at its whitespace gives, wherever the blocks end.
#include "meshtext/chunker.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "meshtext/text.h"

namespace {

struct Records {
  std::size_t countTokens = 0;
  std::vector<std::string> tokens;  // three per record
  std::size_t leftover = 0;
  bool operator==(const Records& o) const {
    return countTokens == o.countTokens && tokens == o.tokens && leftover == o.leftover;
  }
};

// The reference: the text split at its whitespace, two counts, then records of three.
Records bySplitting(const std::string& text) {
  std::vector<std::string> all;
  std::string token;
  for (char c : text + " ") {
    if (!meshtext::isSpace(c)) {
      token += c;
    } else if (!token.empty()) {
      all.push_back(token);
      token.clear();
    }
  }
  Records r;
  r.countTokens = std::min<std::size_t>(all.size(), 2);
  const std::size_t rest = all.size() - r.countTokens;
  r.tokens.assign(all.begin() + std::ptrdiff_t(r.countTokens),
                  all.begin() + std::ptrdiff_t(r.countTokens + rest / 3 * 3));
  r.leftover = rest % 3;
  return r;
}

// A record longer than a block, put together from its pieces.
struct Gather : meshtext::RecordSink {
  std::uint64_t record = 0;
  std::vector<std::string> tokens;
  void piece(std::uint64_t of, std::size_t token, std::string_view text, bool) override {
    if (tokens.empty()) record = of;
    EXPECT_EQ(of, record);
    if (token == tokens.size()) tokens.emplace_back();
    tokens.back() += text;
  }
};

Records byBlocks(const std::string& text, std::size_t blockSize) {
  std::stringbuf input(text);
  meshtext::BlockReader reader(input, blockSize);
  meshtext::Counts counts;
  Records r;
  r.countTokens = reader.readCounts(counts);
  meshtext::Block block(blockSize);
  meshtext::Carry carry, next;
  Gather streamed;
  while (reader.next(block)) {
    block.index();
    const bool wasStreaming = carry.streaming;
    const meshtext::Chunk chunk = block.cut(carry, next, streamed);
    if (wasStreaming && (next.records > carry.records || next.ended)) {
      EXPECT_EQ(streamed.record, carry.records);
      if (next.records > carry.records)  // whole, not ended with the input
        r.tokens.insert(r.tokens.end(), streamed.tokens.begin(), streamed.tokens.end());
      streamed = Gather();
    }
    EXPECT_EQ(chunk.firstRecord, r.tokens.size() / 3);
    for (std::size_t i = 0; i < 3 * chunk.records; ++i) {
      const char* start = block.text() + chunk.starts[i];
      std::size_t length = 0;
      while (!meshtext::isSpace(start[length]) && start + length != block.text() + block.length())
        ++length;
      r.tokens.emplace_back(start, length);
    }
    if (block.tailStreams()) block.streamTail(next, streamed);
    if (next.ended) {
      r.leftover = next.leftover;
      EXPECT_TRUE(block.last());
    }
    carry = next;
  }
  EXPECT_TRUE(carry.ended);
  return r;
}

TEST(Blocks, HoldTheRecordsThatSplittingTheTextGives) {
  std::mt19937 rng(5);
  std::string generated = "40 80\r\n";
  for (int i = 0; i < 360; ++i) {
    generated += std::to_string(rng() % 100000) + (rng() % 7 == 0 ? ".25e1" : "");
    generated += " \t\r\n\v\f"[rng() % 6];
    if (rng() % 10 == 0) generated += std::string(rng() % 40, ' ');
  }
  const std::string inputs[] = {
      "",
      "  \n ",
      "5",
      "1 2",
      "1 2 a b c",
      "1 2 a b c d",
      "1 2\n\n a  b\tc d e",
      "   3\t\t4   " + std::string(300, ' ') + "x" + std::string(200, ' ') + "y z w",
      std::string(1000, '9') + " 1 " + std::string(500, 'a') + " b c",
      "1 2 a " + std::string(700, 'b') + " c d e " + std::string(300, 'f'),
      std::string("1 2 a\0b c\0", 10),
      generated,
      generated + " 7",
  };
  for (const std::string& text : inputs) {
    const Records expected = bySplitting(text);
    for (std::size_t block : {1, 2, 3, 5, 8, 64, 4096}) {
      EXPECT_TRUE(byBlocks(text, block) == expected) << "block " << block << ": " << text;
    }
  }
}

}  // namespace
