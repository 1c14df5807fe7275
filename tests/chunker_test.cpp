// Blocks cut into whole records, one block's carry handed to the next, must hold exactly the
// records that splitting the whole text at its whitespace gives, wherever the blocks end.
#include "meshtext/chunker.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <variant>
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

// Gathers the records that cutIntoRecords hands over, checking the order it hands them in.
struct Gather : meshtext::BlockConsumer {
  Records r;
  meshtext::Carry carry;
  std::uint64_t streamedRecord = 0;
  std::vector<std::string> streamed;  // a record longer than a block, from its pieces
  bool lastBlock = false;

  bool receive(meshtext::Carry& carried) override {
    carried = carry;
    return true;
  }
  void piece(std::uint64_t of, std::size_t token, std::string_view text, bool last) override {
    if (streamed.empty()) {
      streamedRecord = of;
      EXPECT_EQ(of, r.tokens.size() / 3);
    }
    EXPECT_EQ(of, streamedRecord);
    if (token == streamed.size()) streamed.emplace_back();
    streamed.back() += text;
    if (last && token == 2) {  // whole
      r.tokens.insert(r.tokens.end(), streamed.begin(), streamed.end());
      streamed.clear();
    }
  }
  void unfinished(std::uint64_t of) override {
    EXPECT_EQ(of, streamedRecord);
    EXPECT_FALSE(streamed.empty());
    r.leftover = streamed.size();
    streamed.clear();
  }
  void handOn(meshtext::Carry&& next) override {
    if (const auto* ended = std::get_if<meshtext::Carry::Ended>(&next.state)) {
      EXPECT_EQ(r.leftover == 0 ? ended->leftover : r.leftover, ended->leftover);
      r.leftover = ended->leftover;
      EXPECT_TRUE(lastBlock);
    }
    carry = std::move(next);
  }
  void records(const meshtext::Block& block, const meshtext::Chunk& chunk) override {
    EXPECT_EQ(chunk.firstRecord, r.tokens.size() / 3);
    for (std::size_t i = 0; i < 3 * chunk.records; ++i) {
      const char* start = block.text() + chunk.starts[i];
      std::size_t length = 0;
      while (!meshtext::isSpace(start[length]) && start + length != block.text() + block.length())
        ++length;
      r.tokens.emplace_back(start, length);
    }
  }
};

Records byBlocks(const std::string& text, std::size_t blockSize) {
  std::stringbuf input(text);
  meshtext::BlockReader reader(input, blockSize);
  meshtext::Counts counts;
  Gather gather;
  gather.r.countTokens = reader.readCounts(counts);
  meshtext::Block block(blockSize);
  while (reader.next(block)) {
    gather.lastBlock = block.last();
    EXPECT_TRUE(meshtext::cutIntoRecords(block, gather));
  }
  EXPECT_TRUE(std::holds_alternative<meshtext::Carry::Ended>(gather.carry.state));
  return gather.r;
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
