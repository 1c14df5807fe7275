// Chunks of whole records must hold exactly the records the stream reader finds, wherever the
// blocks end.
#include "meshtext/chunker.h"
#include "meshtext/reader.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Records {
  std::size_t countTokens = 0;
  meshtext::Counts counts;
  std::vector<std::string> tokens;  // three per record
  std::size_t leftover = 0;
  bool operator==(const Records& o) const {
    return countTokens == o.countTokens && counts.vertexCount == o.counts.vertexCount &&
           counts.faceCount == o.counts.faceCount && tokens == o.tokens && leftover == o.leftover;
  }
};

Records viaReader(const std::string& text) {
  std::stringbuf input(text);
  meshtext::Reader reader(input);
  Records r;
  r.countTokens = reader.readCounts(r.counts);
  std::string_view found[3];
  for (std::size_t n; (n = reader.readTokens(found, 3)) > 0;) {
    if (n < 3) {
      r.leftover = n;
      break;
    }
    r.tokens.insert(r.tokens.end(), found, found + 3);
  }
  return r;
}

// A streamed record's tokens, put together from their pieces.
struct Gather : meshtext::TokenSink {
  std::vector<std::string> tokens;
  void piece(std::size_t token, std::string_view text, bool) override {
    if (token == tokens.size()) tokens.emplace_back();
    tokens.back() += text;
  }
};

Records viaChunker(const std::string& text, std::size_t blockSize) {
  std::stringbuf input(text);
  meshtext::Chunker chunker(input, blockSize);
  Records r;
  r.countTokens = chunker.readCounts(r.counts);
  meshtext::RecordChunk chunk;
  std::uint64_t records = 0;
  while (chunker.next(chunk)) {
    EXPECT_EQ(chunk.firstRecord, records);
    if (chunk.streamed) {
      Gather record;
      std::size_t found = chunker.streamRecord(record);
      EXPECT_EQ(record.tokens.size(), found);
      if (found < 3) break;
      r.tokens.insert(r.tokens.end(), record.tokens.begin(), record.tokens.end());
      ++records;
      continue;
    }
    EXPECT_GT(chunk.records, 0u);
    records += chunk.records;
    meshtext::Scanner scanner = chunk.scanner();
    std::string_view found;
    for (std::uint64_t i = 0; i < 3 * chunk.records; ++i) {
      EXPECT_TRUE(scanner.token(found));
      r.tokens.emplace_back(found);
    }
    EXPECT_FALSE(scanner.token(found)) << "a chunk holds whole records only";
  }
  r.leftover = chunker.leftoverTokens();
  return r;
}

TEST(Chunks, HoldTheRecordsTheReaderFinds) {
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
      generated,
      generated + " 7",
  };
  for (const std::string& text : inputs) {
    const Records expected = viaReader(text);
    for (std::size_t block : {1, 2, 3, 5, 8, 64, 4096}) {
      EXPECT_TRUE(viaChunker(text, block) == expected) << "block " << block << ": " << text;
    }
  }
}

}  // namespace
