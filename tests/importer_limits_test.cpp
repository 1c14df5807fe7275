// vorlatic-import's transforms and the device's limits: options applied in their order, every
// coordinate a finite float, simplifying and splitting only what is over the limit, and the
// distance simplifying reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "importer_support.h"

namespace fs = std::filesystem;
using importer_support::area;
using importer_support::canonical;
using importer_support::Import;
using importer_support::Point;
using importer_support::Triangle;
using importer_support::trianglesOf;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::writeFile;

namespace {

TEST_F(Import, TransformsApplyInTheirOrder) {
  const std::string obj = "v 1 2 3\nv 3 2 3\nv 1 6 3\nf 1 2 3\n";  // extents 2, 4, 0
  struct Case {
    std::vector<std::string> options;
    std::vector<Triangle> triangles;
  };
  const Case cases[] = {
      {{}, {{Point{1, 2, 3}, Point{3, 2, 3}, Point{1, 6, 3}}}},
      {{"--up", "z"}, {{Point{1, 3, -2}, Point{3, 3, -2}, Point{1, 3, -6}}}},
      {{"--center"}, {{Point{-1, -2, 0}, Point{1, -2, 0}, Point{-1, 2, 0}}}},
      {{"--center", "--fit", "1"},
       {{Point{-0.25f, -0.5f, 0}, Point{0.25f, -0.5f, 0}, Point{-0.25f, 0.5f, 0}}}},
      {{"--center", "--fit", "1", "--scale", "4"},
       {{Point{-1, -2, 0}, Point{1, -2, 0}, Point{-1, 2, 0}}}},
      {{"--scale", "-1"}, {{Point{-1, -2, -3}, Point{-3, -2, -3}, Point{-1, -6, -3}}}},
      {{"--flip-winding"}, {{Point{1, 2, 3}, Point{1, 6, 3}, Point{3, 2, 3}}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(imported("t.obj", obj, c.options), canonical(c.triangles)) << c.options.size();
}

// Every coordinate written is a finite float, or the option that would make it otherwise is named.
TEST_F(Import, TransformsGiveFiniteFloatsOrNameTheOption) {
  const std::string ten = "v 0 0 0\nv 10 0 0\nv 0 10 0\nf 1 2 3\n";
  const std::string huge = "v 3e38 3e38 0\nv 3.2e38 3e38 0\nv 3e38 3.2e38 0\nf 1 2 3\n";
  const std::string tiny = "v 0 0 0\nv 1e-30 0 0\nv 0 1e-30 0\nf 1 2 3\n";
  struct Case {
    const std::string& obj;
    std::vector<std::string> options;
    const char* refusedBy;  // or null
    std::string box;
  };
  const Case cases[] = {
      {ten, {"--scale", "1e38"}, "--scale", ""},
      {ten, {"--fit", "3e38", "--scale", "10"}, "--scale", ""},
      {ten,
       {"--scale", "-3e37"},
       nullptr,
       "x -3.00000001e+38 .. -0, y -3.00000001e+38 .. -0, z -0 .. -0"},
      {huge,
       {"--center"},
       nullptr,
       "x -9.99999867e+36 .. 9.99999867e+36, y -9.99999867e+36 .. 9.99999867e+36, z 0 .. 0"},
      {huge, {"--up", "z", "--center", "--fit", "2"}, nullptr, "x -1 .. 1, y 0 .. 0, z -1 .. 1"},
      {tiny, {"--fit", "1e10"}, nullptr, "x 0 .. 1e+10, y 0 .. 1e+10, z 0 .. 0"},
      {tiny, {"--fit", "3e38", "--scale", "1e30"}, "--scale", ""},
  };
  for (const Case& c : cases) {
    writeFile(dir / "t.obj", c.obj);
    std::vector<std::string> args{(dir / "t.obj").string(), (dir / "out.3db").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    RunResult r = run(args);
    if (c.refusedBy) {
      EXPECT_EQ(r.status, 2) << c.options[1];
      EXPECT_EQ(r.err, "vorlatic-import: " + (dir / "t.obj").string() + ": " + c.refusedBy +
                           ": the result does not fit in a float\n");
      continue;
    }
    ASSERT_EQ(r.status, 0) << c.options[1] << r.err;
    EXPECT_NE(r.out.find("bounding box: " + c.box + "\n"), std::string::npos) << r.out;
    for (const Triangle& t : trianglesOf(readFile(dir / "out.3db")))
      for (const Point& p : t)
        for (float v : p) EXPECT_TRUE(std::isfinite(v)) << c.options[1];
  }
}

TEST_F(Import, FitsTheDevicesLimitOnlyWhenAsked) {
  std::string grid;  // 301 x 301 vertices
  for (int y = 0; y <= 300; ++y)
    for (int x = 0; x <= 300; ++x)
      grid += "v " + std::to_string(x) + " " + std::to_string(y) + " " + "0\n";
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x) {
      int a = y * 301 + x + 1;
      grid += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
              std::to_string(a + 302) + " " + std::to_string(a + 301) + "\n";
    }
  writeFile(dir / "grid.obj", grid);
  RunResult r = run({(dir / "grid.obj").string(), (dir / "out.3db").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vorlatic-import: " + (dir / "grid.obj").string() +
                       ": 90601 vertices after welding, more than the 65536 that 16-bit indices "
                       "reach; --max-vertices N simplifies the mesh to N, --split writes it in "
                       "parts\n");
  EXPECT_FALSE(fs::exists(dir / "out.3db"));
  for (std::uint32_t limit : {65536u, 20000u, 500u}) {
    r = run({(dir / "grid.obj").string(), (dir / "out.3db").string(), "--max-vertices",
             std::to_string(limit)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("simplified: 180000 to "), std::string::npos) << r.out;
    std::string bytes = readFile(dir / "out.3db");
    std::uint32_t vertices;
    std::memcpy(&vertices, bytes.data() + 3, 4);
    EXPECT_LE(vertices, limit);
    EXPECT_GT(vertices, limit / 2) << "simplified far more than needed";
  }
}

// `count` unit squares apart from each other, four vertices each, the last with a fifth corner
// that makes it a pentagon of area 1.25 when `pentagon`.
std::string cards(int count, bool pentagon) {
  std::string obj, faces;
  for (int i = 0, v = 1; i < count; ++i) {
    const int x = i % 128 * 3, y = i / 128 * 3;
    for (auto [dx, dy] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}})
      obj += "v " + std::to_string(x + dx) + " " + std::to_string(y + dy) + " 0\n";
    faces += "f " + std::to_string(v) + " " + std::to_string(v + 1) + " " + std::to_string(v + 2) +
             " " + std::to_string(v + 3);
    v += 4;
    if (pentagon && i == count - 1) {
      // Half a unit to the left of the square's left edge, halfway up.
      obj += "v " + std::to_string(x - 0.5) + " " + std::to_string(y + 0.5) + " 0\n";
      faces += " " + std::to_string(v++);
    }
    faces += "\n";
  }
  return obj + faces;
}

std::uint32_t vertexCountOf(const std::string& bytes) {
  std::uint32_t count = 0;
  if (bytes.size() >= 7) std::memcpy(&count, bytes.data() + 3, 4);
  return count;
}

// 65,536 vertices fit the device as one file; one more does not, and --split writes it in parts
// within the limit that together hold every triangle exactly once.
TEST_F(Import, SplitsOnlyWhatIsOverTheLimitAndLosesNoTriangle) {
  writeFile(dir / "exact.obj", cards(16384, false));
  writeFile(dir / "over.obj", cards(16384, true));
  RunResult r = run({(dir / "exact.obj").string(), (dir / "exact.3db").string(), "--split"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(vertexCountOf(readFile(dir / "exact.3db")), 65536u);
  EXPECT_FALSE(fs::exists(dir / "exact-1.3db"));
  r = run({(dir / "over.obj").string(), (dir / "over.3db").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(": 65537 vertices after welding"), std::string::npos) << r.err;
  r = run({(dir / "over.obj").string(), (dir / "over.3db").string(), "--split"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "over.3db"));
  std::vector<Triangle> all;
  int parts = 0;
  for (fs::path part; fs::exists(part = dir / ("over-" + std::to_string(parts + 1) + ".3db"));
       ++parts) {
    const std::string bytes = readFile(part);
    EXPECT_LE(vertexCountOf(bytes), 65536u) << part;
    EXPECT_NE(r.out.find("written: " + part.string() + ", "), std::string::npos) << r.out;
    const std::vector<Triangle> triangles = trianglesOf(bytes);
    all.insert(all.end(), triangles.begin(), triangles.end());
  }
  EXPECT_EQ(parts, 2);
  all = canonical(all);
  EXPECT_EQ(all.size(), 2u * 16384 + 1);  // two a square, three for the pentagon
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a triangle twice";
  double total = 0;
  for (const Triangle& t : all) total += area(t);
  EXPECT_DOUBLE_EQ(total, 16384.25);
}

// A flat 41 x 41 grid with its centre raised by 0.375: simplified to its four corners, the bump
// is gone and the centre lies exactly 0.375 from the result, times what the transforms made it.
TEST_F(Import, MeasuresTheBumpThatSimplifyingRemoved) {
  std::string grid;
  for (int y = 0; y <= 40; ++y)
    for (int x = 0; x <= 40; ++x)
      grid += "v " + std::to_string(x) + " " + std::to_string(y) +
              (x == 20 && y == 20 ? " 0.375\n" : " 0\n");
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      int a = y * 41 + x + 1;
      grid += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
              std::to_string(a + 42) + " " + std::to_string(a + 41) + "\n";
    }
  writeFile(dir / "bump.obj", grid);
  const struct {
    std::vector<std::string> options;
    double distance;
  } cases[] = {{{}, 0.375}, {{"--scale", "4"}, 1.5}, {{"--fit", "10"}, 0.09375}};
  for (const auto& c : cases) {
    std::vector<std::string> args{(dir / "bump.obj").string(), (dir / "out.3db").string(),
                                  "--max-vertices", "4"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    RunResult r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const Triangle& t : trianglesOf(readFile(dir / "out.3db")))
      for (const Point& p : t) ASSERT_EQ(p[2], 0) << "the bump was kept";
    const std::string lead = "largest distance from an original vertex to the result ";
    const std::size_t at = r.out.find(lead);
    ASSERT_NE(at, std::string::npos) << r.out;
    std::size_t length = 0;
    const double reported = std::stod(r.out.substr(at + lead.size()), &length);
    EXPECT_GE(reported, c.distance) << r.out;
    EXPECT_LE(reported, c.distance * 1.001) << r.out;
    EXPECT_EQ(r.out.substr(at + lead.size() + length, 25), " (in the output's units)\n");
  }
}

}  // namespace
