// vorlatic-inspect: invalid files named word for word, the command line, the summary, and the
// round trip through mesh text.
#include "inspect.h"
#include "picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>

#include "inspect_support.h"
#include "run.h"
#include "support.h"

namespace fs = std::filesystem;
using testing_support::goldenBytes;
using testing_support::goldenText;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

using namespace inspect_testing;

struct Invalid {
  std::string bytes;
  std::string reason;
};

TEST_F(Inspect, NamesEachKindOfInvalidFile) {
  const std::string sound = goldenBytes("overview.3db.hex");  // 3 vertices, 1 face, 69 bytes
  std::string version2 = sound, negative = sound, magic = sound;
  version2[11] = 2;
  negative[6] = '\xFF';
  magic[2] = 'X';
  const Invalid cases[] = {
      {"", "not a 3DB file: 0 bytes, fewer than the 15 of a header"},
      {sound.substr(0, 14), "not a 3DB file: 14 bytes, fewer than the 15 of a header"},
      {magic, "not a 3DB file: it does not begin with \"3DB\""},
      {version2, "unknown version 2 (expected 1)"},
      {negative, "negative vertexCount -16777213"},
      {sound.substr(0, 40), "truncated: the file ends after 1 of 3 vertex records"},
      {sound.substr(0, 47), "truncated: the file ends after 2 of 3 vertex records"},
      {sound + "\1\2\3\4",
       "4 trailing bytes after the last face record: the size 73 does not match 15 + 16 x "
       "vertexCount + 6 x face records"},
      {sound.substr(0, 68),
       "5 trailing bytes after the last face record: the size 68 does not match 15 + 16 x "
       "vertexCount + 6 x face records"},
  };
  for (const auto& c : cases) {
    writeFile(file, c.bytes);
    Result r = inspectWith({"vorlatic-inspect", file.string(), "--dump", dump.string()});
    EXPECT_EQ(r.status, 2) << c.reason;
    EXPECT_EQ(r.err, diagnostic(c.reason));
    EXPECT_FALSE(fs::exists(dump)) << c.reason;
  }
  fs::remove(file);
  Result missing = inspectWith({"vorlatic-inspect", file.string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, diagnostic("cannot open: No such file or directory"));
  EXPECT_EQ(inspectWith({"vorlatic-inspect"}).out, inspector::usage());
  EXPECT_EQ(inspectWith({"vorlatic-inspect", "a", "b"}).status, 1);
}

// Each wrong option is named word for word, before the file is opened (here it does not exist).
TEST_F(Inspect, NamesEachWrongOption) {
  const std::string size = "--size: expected WIDTHxHEIGHT, each from 1 to 4096, not ";
  const struct {
    std::vector<std::string> options;
    std::string diagnostic;
  } cases[] = {
      {{"--png", "a.png", "--size", "640"}, size + "\"640\""},
      {{"--png", "a.png", "--size", "0x10"}, size + "\"0x10\""},
      {{"--png", "a.png", "--size", "4097x10"}, size + "\"4097x10\""},
      {{"--png", "a.png", "--size", "10x10x"}, size + "\"10x10x\""},
      {{"--png", "a.png", "--size", "x10"}, size + "\"x10\""},
      {{"--png", "a.png", "--size", "99999999999x1"}, size + "\"99999999999x1\""},
      {{"--png", "a.png", "--view", "side"},
       "--view: expected iso, front, back, left, right, top or bottom, not \"side\""},
      {{"--size", "10x10"}, "--size: only with --png"},
      {{"--view", "top", "--svg", "a.svg"}, "--view: only with --png"},
      {{"--png", ""}, "--png: the path is empty"},
      {{"--png", "a", "--png", "b"}, "--png: given twice"},
      {{"--svg", "a", "--png", "./a"}, "./a: given to both --svg and --png"},
      {{"--png", "a", "--dump", "a"}, "a: given to both --dump and --png"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"vorlatic-inspect", file.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Result r = inspectWith(args);
    EXPECT_EQ(r.status, 1) << c.diagnostic;
    EXPECT_EQ(r.err, "vorlatic-inspect: " + c.diagnostic + "\n");
    EXPECT_EQ(r.out, inspector::usage());
  }
  Result help = inspectWith({"vorlatic-inspect", "--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--json", "--dump", "--svg", "--png", "--size", "--view", "--help"})
    EXPECT_NE(help.out.find(std::string("\n  ") + option + " "), std::string::npos) << option;
}

// Two outputs that would land on one file not made yet: the second result would replace the
// first. Refused before the file is opened (here it does not exist).
TEST_F(Inspect, RefusesTwoOutputsThatLandOnOneNewFile) {
  fs::create_directory(dir / "real");
  std::error_code noLinks;  // Windows makes links only with a privilege, wine not at all
  fs::create_directory_symlink("real", dir / "via", noLinks);
  if (noLinks) GTEST_SKIP() << "no symbolic links here: " << noLinks.message();
  fs::create_symlink("real/new.png", dir / "dangling");
  fs::create_symlink("dangling", dir / "chained");
  const std::string real = (dir / "real").string(), via = (dir / "via").string();
  const struct {
    std::vector<std::string> options;
    std::string second, pair;
  } cases[] = {
      {{"--svg", real + "/a", "--png", via + "/a"}, via + "/a", "--svg and --png"},
      {{"--dump", (dir / "dangling").string(), "--png", real + "/new.png"},
       real + "/new.png",
       "--dump and --png"},
      {{"--svg", (dir / "chained").string(), "--dump", via + "/new.png"},
       (dir / "chained").string(),
       "--dump and --svg"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"vorlatic-inspect", file.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Result r = inspectWith(args);
    EXPECT_EQ(r.status, 1) << c.second;
    EXPECT_EQ(r.err, "vorlatic-inspect: " + c.second + ": given to both " + c.pair + "\n");
  }
}

#ifdef VORLATIC_NO_PNG
TEST_F(Inspect, ABuildThatCannotDrawSaysSo) {
  writeFile(file, converted(readFile(VORLATIC_EXAMPLES_DIR "/cube.msh")));
  Result r = inspectWith({"vorlatic-inspect", file.string(), "--png", (dir / "a.png").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "vorlatic-inspect: --png: this build has no --png (it needs OSMesa and libpng, Debian "
            "libosmesa6-dev and libpng-dev)\n");
  EXPECT_NE(inspector::usage().find("(this build has no --png"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "a.png"));
}
#endif

// What OpenGL is handed: on a little-endian host, the file's own vertex records, byte for byte;
// on a big-endian one, the same with each coordinate's bytes turned round.
TEST(DeviceVertex, IsTheFilesRecordInTheHostsOrder) {
  const std::uint16_t probe = 1;
  const bool little = *reinterpret_cast<const unsigned char*>(&probe) == 1;
  const std::string bytes = goldenBytes("spellings.3db.hex");  // NaN, -0, tiny values
  std::stringbuf in(bytes);
  threedb::FileReader reader(in);
  threedb::Header header;
  ASSERT_EQ(reader.readHeader(header), threedb::Problem::none);
  threedb::VertexRecord record;
  for (std::size_t i = 0; reader.readVertex(record); ++i) {
    std::string expected = bytes.substr(threedb::headerSize + 16 * i, 16);
    for (std::size_t word = 4; word < 16 && !little; word += 4)
      std::reverse(expected.begin() + word, expected.begin() + word + 4);
    const inspector::DeviceVertex vertex = inspector::deviceVertex(record);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&vertex), 16), expected) << i;
  }
}

TEST_F(Inspect, SummarisesASoundFile) {
  writeFile(file, converted("4 3\n0 0 0\n1 0 0\n0 2 0\n0 0 -3\n1 2 3\n1 3 4\n2 3 4\n4 1 2\n"));
  Result r = inspectWith({"vorlatic-inspect", file.string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "file: " + file.string() + " (103 bytes)\n" +
                "magic: 3DB, version 1\n"
                "vertexCount: 4 (4 vertex records)\n"
                "faceCount: 3 declared, 4 face records present (they differ)\n"
                "bounding box: x 0 .. 1, y 0 .. 2, z -3 .. 0\n"
                "colours: FF00FF00 x 4\n"
                "indices: 1 .. 4, look 1-based; all fit the 4 vertices counted from 1\n"
                "device: 64 bytes of vertices, 24 bytes of indices, 1 draw call of at most "
                "65535 indices; every index fits the vertices: no\n"
                "sections: vertices at offset 15, faces at offset 79; loaded one byte past a "
                "16-byte boundary, both start on one\n");
}

// Every coordinate bit pattern the converter can write, and indices across all 16 bits.
std::string generatedMesh(std::mt19937& rng, std::uint32_t vertices, std::uint32_t faces) {
  const char* odd[] = {"inf",   "-inf",       "nan",    "-nan(0x7ffffe0000000)",
                       "-0",    "1e-45",      "3.4e38", "0.1",
                       "1e-40", "-123456.789"};
  std::string text = std::to_string(vertices) + " " + std::to_string(faces + rng() % 3) + "\n";
  for (std::uint32_t i = 0; i < 3 * vertices; ++i) {
    if (rng() % 4 == 0) {
      text += odd[rng() % 10];
    } else {
      std::uint32_t bits = std::uint32_t(rng());
      float value;
      std::memcpy(&value, &bits, sizeof value);
      char token[40];
      std::snprintf(token, sizeof token, "%.17g", std::isnan(value) ? 0.5 : double(value));
      text += token;
    }
    text += i % 3 == 2 ? "\n" : " ";
  }
  for (std::uint32_t i = 0; i < 3 * faces; ++i)
    text += std::to_string(rng() % 65536) + (i % 3 == 2 ? "\n" : " ");
  return text;
}

TEST_F(Inspect, DumpConvertsBackToTheSameBytes) {
  std::vector<std::string> meshes = {goldenText("overview.msh"), goldenText("spellings.msh"),
                                     goldenText("linebreaks.msh"),
                                     readFile(VORLATIC_EXAMPLES_DIR "/cube.msh")};
  std::mt19937 rng(8);
  for (int i = 0; i < 5; ++i) meshes.push_back(generatedMesh(rng, 200, 300));
  for (const std::string& mesh : meshes) {
    const std::string bytes = converted(mesh);
    writeFile(file, bytes);
    Result r = inspectWith({"vorlatic-inspect", file.string(), "--dump", dump.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(converted(readFile(dump)), bytes) << mesh.substr(0, 80);
  }
}

}  // namespace
