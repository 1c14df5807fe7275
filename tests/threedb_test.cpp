#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"
#include "threedb/format.h"
#include "threedb/reader.h"
#include "threedb/writer.h"

namespace {

template <std::size_t N>
std::string str(const std::array<unsigned char, N>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(Records, MatchTheirGoldenBytes) {
  EXPECT_EQ(str(threedb::encodeHeader(0, 0)), std::string("3DB\0\0\0\0\0\0\0\0\1\0\0\0", 15));
  EXPECT_EQ(str(threedb::encodeHeader(3, -2)),
            std::string("3DB\3\0\0\0\xFE\xFF\xFF\xFF\1\0\0\0", 15));
  EXPECT_EQ(str(threedb::encodeVertex(1.0f, 2.0f, 3.0f)),
            std::string("\x00\xFF\x00\xFF\x00\x00\x80\x3F\x00\x00\x00\x40\x00\x00\x40\x40", 16));
  EXPECT_EQ(str(threedb::encodeFace(0, 1, 2)), std::string("\0\0\1\0\2\0", 6));
  EXPECT_EQ(str(threedb::encodeFace(0xFFFF, 0x0A0D, 0x1234)),
            std::string("\xFF\xFF\x0D\x0A\x34\x12", 6));
}

TEST(Records, KeepEveryFloatBitPattern) {
  auto nan = threedb::encodeVertex(0x7FC00001u, 0x80000000u, 0x7F800000u);
  EXPECT_EQ(str(nan).substr(4),
            std::string("\x01\x00\xC0\x7F\x00\x00\x00\x80\x00\x00\x80\x7F", 12));
}

TEST(Colour, IsOpaqueGreenPackedAbgr) {
  EXPECT_EQ(threedb::vertexColour, 0xFF00FF00u);
  EXPECT_EQ(threedb::packColour(0x11, 0x22, 0x33, 0x44), 0x44332211u);
}

TEST(Writer, ConcatenatesRecordsAcrossBlocks) {
  std::string expected = str(threedb::encodeHeader(100, 300));
  std::stringbuf out;
  threedb::Writer writer(out, 7);
  writer.writeHeader(100, 300);
  for (int i = 0; i < 100; ++i) {
    writer.writeVertex(float(i), -float(i), 0.5f);
    expected += str(threedb::encodeVertex(float(i), -float(i), 0.5f));
  }
  for (int i = 0; i < 300; ++i) {
    writer.writeFace(std::uint16_t(i), std::uint16_t(i + 1), std::uint16_t(i * 7));
    expected +=
        str(threedb::encodeFace(std::uint16_t(i), std::uint16_t(i + 1), std::uint16_t(i * 7)));
  }
  ASSERT_TRUE(writer.flush());
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(out.str().size(), threedb::fileSize(100, 300));
  EXPECT_EQ(writer.bytesWritten(), threedb::fileSize(100, 300));
}

// Single records gathered in the writer's own buffer and records encoded apart interleaved: every
// byte in the order written (encoded records handed on before the gathered header would come
// first), and a colour given to a vertex kept.
TEST(Writer, KeepsTheOrderOfSingleAndEncodedRecords) {
  threedb::EncodedRecords block;
  block.reserve(2);
  block.addVertex(1, 2, 3);
  block.addFace(4, 5, 6);
  const std::string records =
      str(threedb::encodeVertex(1u, 2u, 3u)) + str(threedb::encodeFace(4, 5, 6));
  std::stringbuf out;
  threedb::Writer writer(out);
  writer.writeHeader(2, 2);
  writer.writeRecords(block);
  writer.writeVertexBits(7, 8, 9, 0x11223344u);
  writer.writeRecords(block);
  ASSERT_TRUE(writer.flush());
  EXPECT_EQ(out.str(), str(threedb::encodeHeader(2, 2)) + records +
                           std::string("\x44\x33\x22\x11\7\0\0\0\x08\0\0\0\x09\0\0\0", 16) +
                           records);
  EXPECT_EQ(writer.bytesWritten(), out.str().size());
}

TEST(Writer, ReportsAFailedWriteAndStopsWriting) {
  testing_support::FullAfter out(20);
  threedb::Writer writer(out, 16);
  writer.writeHeader(2, 0);
  writer.writeVertex(1, 2, 3);
  writer.writeVertex(1, 2, 3);
  EXPECT_FALSE(writer.flush());
  EXPECT_TRUE(writer.failed());
  EXPECT_LE(out.str().size(), 20u);
}

TEST(FileSize, CountsEveryRecordWithoutOverflow) {
  EXPECT_EQ(threedb::fileSize(3, 1), 69u);
  EXPECT_EQ(threedb::fileSize(0xFFFFFFFFu, 0), 15u + 16u * 0xFFFFFFFFull);
}

}  // namespace

namespace {

// Everything a FileReader makes of `bytes`, read to the end.
struct ReadBack {
  threedb::Problem problem = threedb::Problem::none;
  threedb::Header header;
  std::vector<threedb::VertexRecord> vertices;
  std::vector<threedb::FaceRecord> faces;
  std::size_t trailing = 0;
  std::uint64_t bytesRead = 0;
};

ReadBack readBack(const std::string& bytes) {
  std::stringbuf input(bytes);
  threedb::FileReader reader(input);
  ReadBack r;
  r.problem = reader.readHeader(r.header);
  threedb::VertexRecord vertex;
  while (reader.readVertex(vertex)) r.vertices.push_back(vertex);
  threedb::FaceRecord face;
  while (reader.readFace(face)) r.faces.push_back(face);
  if (r.problem == threedb::Problem::none) r.problem = reader.problem();
  r.trailing = reader.trailingBytes();
  r.bytesRead = reader.bytesRead();
  return r;
}

// What the format's size arithmetic says of `size` bytes of a file that declares `vertexCount`
// vertices: the records it holds whole and the problem.
struct Expected {
  threedb::Problem problem;
  std::size_t vertices, faces, trailing;
};

Expected bySize(std::size_t size, std::int64_t vertexCount) {
  using threedb::Problem;
  if (size < threedb::headerSize) return {Problem::truncatedHeader, 0, 0, 0};
  if (vertexCount < 0) return {Problem::negativeVertexCount, 0, 0, 0};
  std::size_t body = size - threedb::headerSize;
  if (body < std::uint64_t(vertexCount) * threedb::vertexRecordSize)
    return {Problem::truncatedVertices, body / threedb::vertexRecordSize, 0, 0};
  std::size_t faceBytes = body - std::size_t(vertexCount) * threedb::vertexRecordSize;
  std::size_t trailing = faceBytes % threedb::faceRecordSize;
  return {trailing ? Problem::trailingBytes : Problem::none, std::size_t(vertexCount),
          faceBytes / threedb::faceRecordSize, trailing};
}

void expectRead(const ReadBack& got, const Expected& expected, const ReadBack& whole,
                const std::string& label) {
  EXPECT_EQ(int(got.problem), int(expected.problem)) << label;
  ASSERT_EQ(got.vertices.size(), expected.vertices) << label;
  ASSERT_EQ(got.faces.size(), expected.faces) << label;
  EXPECT_EQ(got.trailing, expected.trailing) << label;
  // Whatever is read is read as in the whole file.
  for (std::size_t i = 0; i < got.vertices.size() && i < whole.vertices.size(); ++i)
    EXPECT_EQ(got.vertices[i].bits(), whole.vertices[i].bits()) << label;
}

TEST(FileReader, ReadsEveryTruncationOfAGoldenFileAsItsSizeSays) {
  const std::string file = testing_support::goldenBytes("overview.3db.hex");  // 3 vertices, 1 face
  const ReadBack whole = readBack(file);
  ASSERT_EQ(int(whole.problem), int(threedb::Problem::none));
  for (std::size_t size = 0; size <= file.size(); ++size) {
    ReadBack got = readBack(file.substr(0, size));
    expectRead(got, bySize(size, 3), whole, "size " + std::to_string(size));
    EXPECT_EQ(got.bytesRead, size);
  }
}

TEST(FileReader, NamesEveryOneByteCorruptionOfTheHeader) {
  const std::string file = testing_support::goldenBytes("overview.3db.hex");
  const ReadBack whole = readBack(file);
  for (std::size_t at = 0; at < threedb::headerSize; ++at) {
    for (int value = 0; value < 256; ++value) {
      if (char(value) == file[at]) continue;
      std::string corrupt = file;
      corrupt[at] = char(value);
      const ReadBack got = readBack(corrupt);
      const std::string label = "byte " + std::to_string(at) + " = " + std::to_string(value);
      if (at < 3) {
        EXPECT_EQ(int(got.problem), int(threedb::Problem::badMagic)) << label;
      } else if (at >= 11) {
        EXPECT_EQ(int(got.problem), int(threedb::Problem::unknownVersion)) << label;
      } else if (at >= 7) {  // faceCount is not checked against the records
        expectRead(got, bySize(file.size(), 3), whole, label);
        EXPECT_NE(got.header.faceCount, whole.header.faceCount) << label;
      } else {
        expectRead(got, bySize(file.size(), got.header.vertexCount), whole, label);
      }
    }
  }
}

}  // namespace
