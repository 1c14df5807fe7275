#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>

#include "support.h"
#include "threedb/format.h"
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
