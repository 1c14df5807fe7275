// Conversion side by side on several threads and in small chunks must give exactly what one
// reader going through the input record by record gives.
#include "engine.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "meshtext/numbers.h"
#include "meshtext/reader.h"
#include "support.h"
#include "threedb/writer.h"

namespace {

struct Result {
  converter::Outcome outcome;
  std::string console;
  std::string bytes;
};

// The reference: one Reader, one record at a time, as the formats define it.
Result sequential(const std::string& text) {
  std::stringbuf input(text);
  meshtext::Reader reader(input);
  Result r;
  converter::Outcome& o = r.outcome;
  o.countTokens = reader.readCounts(o.counts);
  if (o.countTokens < 2 || o.counts.vertexCount < 0) return r;
  r.console = "vertexCount=" + std::to_string(o.counts.vertexCount) +
              "\nfaceCount=" + std::to_string(o.counts.faceCount) + "\n";
  std::stringbuf out;
  threedb::Writer writer(out);
  writer.writeHeader(o.counts.vertexCount, o.counts.faceCount);
  meshtext::Vertex v;
  for (; o.verticesFound < std::uint32_t(o.counts.vertexCount); ++o.verticesFound) {
    if (reader.readVertex(v) < 3) {
      o.stop = converter::Stop::truncatedVertices;
      break;
    }
    r.console += std::string(v.text[0]) + " " + std::string(v.text[1]) + " " +
                 std::string(v.text[2]) + " \n";
    writer.writeVertex(v.x, v.y, v.z);
  }
  meshtext::Face f;
  while (o.stop == converter::Stop::none) {
    std::size_t found = reader.readFace(f);
    if (found < 3) {
      o.partialFaceTokens = found;
      break;
    }
    r.console +=
        std::string(f.text[0]) + " " + std::string(f.text[1]) + " " + std::string(f.text[2]) + "\n";
    writer.writeFace(f.index[0], f.index[1], f.index[2]);
    ++o.faceRecords;
    for (std::int32_t value : f.value) o.indicesOutOfRange += !meshtext::fitsIndex(value);
  }
  writer.flush();
  r.bytes = out.str();
  return r;
}

Result converted(const std::string& text, const converter::ConvertOptions& options) {
  std::stringbuf input(text);
  std::stringbuf out;
  std::ostringstream console;
  Result r;
  {
    converter::Echo echo(console);
    r.outcome = converter::convert(
        input, [&] { return &out; }, echo, options);
  }
  r.console = console.str();
  r.bytes = out.str();
  return r;
}

void expectSame(const Result& a, const Result& b, const std::string& label) {
  EXPECT_EQ(int(a.outcome.stop), int(b.outcome.stop)) << label;
  EXPECT_EQ(a.outcome.verticesFound, b.outcome.verticesFound) << label;
  EXPECT_EQ(a.outcome.faceRecords, b.outcome.faceRecords) << label;
  EXPECT_EQ(a.outcome.partialFaceTokens, b.outcome.partialFaceTokens) << label;
  EXPECT_EQ(a.outcome.indicesOutOfRange, b.outcome.indicesOutOfRange) << label;
  EXPECT_EQ(a.console, b.console) << label;
  EXPECT_EQ(a.bytes, b.bytes) << label;
}

std::string mesh(std::uint32_t vertices, std::uint32_t faces, std::uint32_t declared,
                 std::mt19937& rng) {
  const char* spellings[] = {"0.5", "-12.345678", "3abc", "1e-50", "+0x1p3", "-inf", "7.", ".25"};
  const char* spaces[] = {" ", "\t", "\r\n", "   ", "\n\v\f"};
  std::string text = std::to_string(declared) + " " + std::to_string(faces) + "\n";
  for (std::uint32_t i = 0; i < 3 * vertices; ++i)
    text += std::string(spellings[rng() % 8]) + spaces[rng() % 5];
  for (std::uint32_t i = 0; i < 3 * faces; ++i)
    text += std::to_string(int(rng() % 70000) - 2) + spaces[rng() % 5];
  return text;
}

TEST(SideBySide, ConvertsExactlyAsOneReaderDoes) {
  std::mt19937 rng(11);
  const std::string inputs[] = {
      mesh(300, 500, 300, rng),
      mesh(300, 500, 300, rng) + "1 2",     // a partial last face
      mesh(300, 0, 500, rng),               // the input ends inside the vertices
      mesh(300, 10, 300, rng) + "4 5 6 7",  // more faces than declared, then a partial one
      "0 0",
      "2 1 1 2 3",
  };
  for (const std::string& text : inputs) {
    const Result expected = sequential(text);
    for (unsigned workers : {1u, 2u, 3u}) {
      for (std::size_t block : {std::size_t{7}, std::size_t{100}, std::size_t{4096}}) {
        expectSame(converted(text, {workers, block}), expected,
                   std::to_string(workers) + " workers, block " + std::to_string(block));
      }
    }
  }
}

TEST(SideBySide, StopsAllThreadsWhenAWriteFails) {
  std::mt19937 rng(3);
  const std::string text = mesh(2000, 4000, 2000, rng);
  for (unsigned workers : {1u, 2u}) {
    std::stringbuf input(text);
    testing_support::FullAfter out(1000);
    std::ostringstream console;
    converter::Echo echo(console);
    converter::Outcome outcome =
        converter::convert(input, [&] { return &out; }, echo, {workers, 512});
    EXPECT_EQ(outcome.stop, converter::Stop::writeFailed) << workers;
  }
}

}  // namespace
