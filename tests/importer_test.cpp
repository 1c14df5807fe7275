// vorlatic-import: models of every kind written here, read back exactly; concave polygons
// covered exactly; the limits of the device; the isolated reader failing in every way it can.
#include <gtest/gtest.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "distance.h"
#include "import.h"
#include "isolate.h"
#include "model.h"
#include "options.h"
#include "progress.h"
#include "run.h"  // the converter, for the text output's round trip
#include "shape.h"
#include "support.h"
#include "tessellate.h"
#include "threedb/reader.h"
#include "weld.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

using Point = std::array<float, 3>;
using Triangle = std::array<Point, 3>;

// A triangle turned so that its smallest corner comes first; the winding stays.
Triangle canonical(Triangle t) {
  std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
  return t;
}

std::vector<Triangle> canonical(std::vector<Triangle> triangles) {
  for (Triangle& t : triangles) t = canonical(t);
  std::sort(triangles.begin(), triangles.end());
  return triangles;
}

// The triangles of a 3DB file, as positions.
std::vector<Triangle> trianglesOf(const std::string& bytes) {
  std::stringbuf input(bytes);
  threedb::FileReader reader(input);
  threedb::Header header;
  EXPECT_EQ(int(reader.readHeader(header)), int(threedb::Problem::none));
  std::vector<Point> points;
  threedb::VertexRecord v;
  while (reader.readVertex(v))
    points.push_back({threedb::floatFromBits(v.xBits), threedb::floatFromBits(v.yBits),
                      threedb::floatFromBits(v.zBits)});
  std::vector<Triangle> triangles;
  threedb::FaceRecord f;
  while (reader.readFace(f)) triangles.push_back({points.at(f.a), points.at(f.b), points.at(f.c)});
  EXPECT_EQ(int(reader.problem()), int(threedb::Problem::none));
  EXPECT_EQ(std::size_t(header.faceCount), triangles.size());
  return canonical(triangles);
}

double area(const Triangle& t) {
  double u[3], w[3];
  for (int i = 0; i < 3; ++i) u[i] = double(t[1][i]) - t[0][i], w[i] = double(t[2][i]) - t[0][i];
  double c[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
  return std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) / 2;
}

// Whether every edge of `faces`, loops of corners, is in exactly two of them, once each way: a
// closed surface.
template <class Face>
bool isClosed(const std::vector<Face>& faces) {
  std::map<std::pair<typename Face::value_type, typename Face::value_type>, int> edges;
  for (const Face& f : faces)
    for (std::size_t k = 0; k < f.size(); ++k) ++edges[{f[k], f[(k + 1) % f.size()]}];
  for (const auto& [edge, uses] : edges)
    if (uses != 1 || edges.count({edge.second, edge.first}) == 0) return false;
  return true;
}

struct Result {
  int status;
  std::string out, err;
};

class Import : public ::testing::Test {
 protected:
  Result run(std::vector<std::string> args) {
    args.insert(args.begin(), "vorlatic-import");
    std::ostringstream out, err;
    int status = importer::run(args, out, err);
    return {status, out.str(), err.str()};
  }
  // Imports `model` (written from `content`) to .3db and to .msh with `options`: both must
  // succeed, the text must convert to the same bytes, and a second run must give them again.
  std::vector<Triangle> imported(const std::string& model, const std::string& content,
                                 std::vector<std::string> options = {}) {
    writeFile(dir / model, content);
    std::vector<std::string> args{(dir / model).string(), (dir / "out.3db").string()};
    args.insert(args.end(), options.begin(), options.end());
    Result binary = run(args);
    EXPECT_EQ(binary.status, 0) << model << ": " << binary.err;
    const std::string bytes = readFile(dir / "out.3db");
    args[1] = (dir / "out.msh").string();
    EXPECT_EQ(run(args).status, 0) << model;
    std::string converted;
    std::ostringstream console, errors;
    converter::convertInMemory(readFile(dir / "out.msh"), converted, console, errors);
    EXPECT_EQ(converted, bytes) << model << ": the text converts to other bytes";
    args[1] = (dir / "again.3db").string();
    run(args);
    EXPECT_EQ(readFile(dir / "again.3db"), bytes) << model << ": another run, other bytes";
    return trianglesOf(bytes);
  }

  ScratchDir dir;
};

// A triangle (0,0,0) (1,0,0) (0,1,0), as each format spells it.
const std::vector<Triangle> unitTriangle = {{Point{0, 0, 0}, Point{1, 0, 0}, Point{0, 1, 0}}};

std::string littleEndian(std::initializer_list<float> floats) {
  std::string bytes;
  for (float f : floats) bytes.append(reinterpret_cast<const char*>(&f), 4);  // hosts are LE
  return bytes;
}

// glTF: the triangle in a mesh under a node scaled by 2, under a node moved by (10, 0, 0).
std::string gltfJson(const std::string& buffer) {
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],
    "nodes":[{"translation":[10,0,0],"children":[1]},{"scale":[2,2,2],"mesh":0}],
    "meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],
    "buffers":[{)" +
         buffer + R"("byteLength":44}],
    "bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},
                   {"buffer":0,"byteOffset":36,"byteLength":6}],
    "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",
                  "min":[0,0,0],"max":[1,1,0]},
                 {"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"}]})";
}
const std::string gltfBuffer =
    littleEndian({0, 0, 0, 1, 0, 0, 0, 1, 0}) + std::string("\0\0\1\0\2\0\0\0", 8);

std::string glb() {
  std::string json = gltfJson("");
  while (json.size() % 4) json += ' ';
  auto word = [](std::uint32_t w) { return std::string(reinterpret_cast<const char*>(&w), 4); };
  std::string chunks = word(std::uint32_t(json.size())) + "JSON" + json +
                       word(std::uint32_t(gltfBuffer.size())) + std::string("BIN\0", 4) +
                       gltfBuffer;
  return "glTF" + word(2) + word(std::uint32_t(12 + chunks.size())) + chunks;
}

TEST_F(Import, ReadsEachFormatExactly) {
  const std::string plyHeader =
      "element vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
      "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
  const std::vector<Triangle> quad = {{Point{0, 0, 0}, Point{1, 0, 0}, Point{1, 1, 0}},
                                      {Point{0, 0, 0}, Point{1, 1, 0}, Point{0, 1, 0}}};
  const std::vector<Triangle> moved = {{Point{10, 0, 0}, Point{12, 0, 0}, Point{10, 2, 0}}};
  writeFile(dir / "tri.bin", gltfBuffer);
  struct Case {
    const char* name;
    std::string content;
    std::vector<Triangle> triangles;
  };
  const Case cases[] = {
      {"tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n",
       unitTriangle},
      {"quad.ply",
       "ply\nformat ascii 1.0\n" + plyHeader + "0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n", quad},
      {"binary.ply",
       "ply\nformat binary_little_endian 1.0\n" + plyHeader +
           littleEndian({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}) +
           std::string("\4\0\0\0\0\1\0\0\0", 9) + std::string("\2\0\0\0\3\0\0\0", 8),
       quad},
      {"ascii.stl",
       "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
       "endloop\nendfacet\nendsolid t\n",
       unitTriangle},
      {"binary.stl",
       std::string(80, 'x') + std::string("\1\0\0\0", 4) +
           littleEndian({0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0}) + std::string(2, '\0'),
       unitTriangle},
      {"nested.gltf", gltfJson(R"("uri":"tri.bin",)"), moved},
      {"nested.glb", glb(), moved},
  };
  for (const Case& c : cases)
    EXPECT_EQ(imported(c.name, c.content), canonical(c.triangles)) << c.name;
}

// Quads, a concave polygon, negative indices, two objects, normals and texture coordinates that
// split vertices, points and lines: one model of all of them.
TEST_F(Import, JoinsObjectsWeldsByPositionAndTriangulatesConcavePolygons) {
  std::string obj = "o cube\n";
  for (int i = 0; i < 8; ++i)
    obj += "v " + std::to_string(i & 1) + " " + std::to_string(i >> 1 & 1) + " " +
           std::to_string(i >> 2) + "\n";
  obj +=
      "vn 0 0 -1\nvn 0 0 1\nvt 0 0\nvt 1 1\n"
      "f 1/1/1 3/1/1 4/2/1 2/2/1\nf 5/1/2 6/2/2 8/2/2 7/1/2\nf 1//1 2//1 6//1 5//1\n"
      "f 3//2 7//2 8//2 4//2\nf 1/2 5/2 7/1 3/1\nf 2 4 8 6\n"
      "o L\nv 3 0 0\nv 5 0 0\nv 5 1 0\nv 4 1 0\nv 4 2 0\nv 3 2 0\nf -6 -5 -4 -3 -2 -1\n"
      "l 1 2\np 3\n";
  writeFile(dir / "cube.obj", obj);
  Result r = run({(dir / "cube.obj").string(), (dir / "out.3db").string(), "--keep-order"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2 meshes joined"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("triangles: 16 read (7 polygons triangulated); 1 point and 1 line dropped"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("corners: 30 read, 14 vertices after welding"), std::string::npos) << r.out;
  // Without an extension, the format is the one the library found in the content.
  writeFile(dir / "cube", obj);
  r = run({(dir / "cube").string(), (dir / "out.3db").string()});
  EXPECT_EQ(r.out.rfind("read: " + (dir / "cube").string() + " (Wavefront Object Importer), ", 0),
            0u)
      << r.out;
  std::vector<Triangle> triangles = imported("cube.obj", obj);
  ASSERT_EQ(triangles.size(), 16u);
  double cube = 0, l = 0;
  for (const Triangle& t : triangles) (t[0][0] >= 3 ? l : cube) += area(t);
  EXPECT_DOUBLE_EQ(cube, 6);
  EXPECT_DOUBLE_EQ(l, 3);
}

// A square prism with its top turned about the axis, so that its sides are twisted quads: cut on
// their own corners, they close the solid, every edge in two triangles, once each way.
TEST_F(Import, TwistedQuadsCloseASolid) {
  for (double turn : {0.5, 2.0, 3.0}) {
    std::string obj;
    for (int k = 0; k < 8; ++k)
      obj += "v " + std::to_string(std::cos(k * M_PI / 2 + (k / 4) * turn)) + " " +
             std::to_string(std::sin(k * M_PI / 2 + (k / 4) * turn)) + " " + std::to_string(k / 4) +
             "\n";
    obj += "f 4 3 2 1\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n";
    std::vector<Triangle> triangles = imported("twisted.obj", obj);
    EXPECT_EQ(triangles.size(), 12u) << turn;
    EXPECT_TRUE(isClosed(triangles)) << turn;
  }
}

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
    Result r = run(args);
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
  Result r = run({(dir / "grid.obj").string(), (dir / "out.3db").string()});
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
  Result r = run({(dir / "exact.obj").string(), (dir / "exact.3db").string(), "--split"});
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

// The vertices of a 3DB file with their colours, sorted.
using Coloured = std::pair<Point, std::uint32_t>;
std::vector<Coloured> colouredVertices(const std::string& bytes) {
  std::stringbuf input(bytes);
  threedb::FileReader reader(input);
  threedb::Header header;
  EXPECT_EQ(int(reader.readHeader(header)), int(threedb::Problem::none));
  std::vector<Coloured> vertices;
  threedb::VertexRecord v;
  while (reader.readVertex(v))
    vertices.push_back({{threedb::floatFromBits(v.xBits), threedb::floatFromBits(v.yBits),
                         threedb::floatFromBits(v.zBits)},
                        v.colour});
  std::sort(vertices.begin(), vertices.end());
  return vertices;
}

std::string base64(const std::string& bytes) {
  const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = std::uint32_t(std::uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= std::uint8_t(bytes[i + 2]);
    for (std::size_t k = 0; k < 4; ++k)
      text += i + k <= bytes.size() ? digits[group >> (18 - 6 * k) & 63] : '=';
  }
  return text;
}

// A glTF of the unit triangle in one buffer given as a data URI: with linear RGBA colours per
// vertex, or with a material of this base colour, or neither.
std::string colouredGltf(std::initializer_list<float> vertexColours, const std::string& material) {
  const std::string colours = littleEndian(vertexColours);
  const std::string buffer =
      littleEndian({0, 0, 0, 1, 0, 0, 0, 1, 0}) + std::string("\0\0\1\0\2\0\0\0", 8) + colours;
  const std::string colourAttribute = colours.empty() ? "" : R"(,"COLOR_0":2)";
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],
    "meshes":[{"primitives":[{"attributes":{"POSITION":0)" +
         colourAttribute + R"(},"indices":1)" + (material.empty() ? "" : R"(,"material":0)") +
         R"(}]}],)" +
         (material.empty()
              ? ""
              : R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":)" + material + "}}],") +
         R"("buffers":[{"uri":"data:application/octet-stream;base64,)" + base64(buffer) +
         R"(","byteLength":)" + std::to_string(buffer.size()) + R"(}],
    "bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},
                   {"buffer":0,"byteOffset":36,"byteLength":6},
                   {"buffer":0,"byteOffset":44,"byteLength":48}],
    "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",
                  "min":[0,0,0],"max":[1,1,0]},
                 {"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"},
                 {"bufferView":2,"componentType":5126,"count":3,"type":"VEC4"}]})";
}

// A colour word from its hex digits as a user writes them: RRGGBBAA.
constexpr std::uint32_t rgba(std::uint32_t hex) {
  return threedb::packColour(hex >> 24, hex >> 16 & 255, hex >> 8 & 255, hex & 255);
}
constexpr std::uint32_t green = rgba(0x00FF00FF), red = rgba(0xFF0000FF), blue = rgba(0x0000FFFF);

TEST_F(Import, TakesEachVertexsColourFromTheModel) {
  writeFile(dir / "blue.mtl", "newmtl blue\nKd 0 0 1\n");
  const std::string plyHeader =
      "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\nproperty float y\n"
      "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
      "element face 2\nproperty list uchar int vertex_indices\nend_header\n";
  const Point o{0, 0, 0}, x{1, 0, 0}, y{0, 1, 0}, below{0, -1, 0};
  struct Case {
    const char* name;
    std::string content;
    std::vector<std::string> options;
    std::vector<Coloured> vertices;
  };
  const Case cases[] = {
      // Linear light to sRGB: 0.5 is 188; alpha is kept as it is.
      {"colours.gltf",
       colouredGltf({0.5f, 0, 0, 1, 0, 0.5f, 0, 1, 0, 0, 1, 0.5f}, ""),
       {},
       {{o, rgba(0xBC0000FF)}, {x, rgba(0x00BC00FF)}, {y, rgba(0x0000FF80)}}},
      {"material.gltf",
       colouredGltf({}, "[0.5,0.25,1,0.5]"),
       {},
       {{o, rgba(0xBC89FF80)}, {x, rgba(0xBC89FF80)}, {y, rgba(0xBC89FF80)}}},
      {"none.gltf", colouredGltf({}, ""), {}, {{o, green}, {x, green}, {y, green}}},
      // One position in two colours stays two vertices; one in the same colour is welded.
      {"seam.ply",
       plyHeader + "0 0 0 255 0 0\n1 0 0 255 0 0\n0 1 0 255 0 0\n0 0 0 0 0 255\n"
                   "1 0 0 255 0 0\n0 -1 0 0 128 0\n3 0 1 2\n3 3 5 4\n",
       {},
       {{below, rgba(0x008000FF)}, {o, blue}, {o, red}, {x, red}, {y, red}}},
      {"material.obj",
       "mtllib blue.mtl\nusemtl blue\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
       {},
       {{o, blue}, {x, blue}, {y, blue}}},
      // Without a material file, the library makes a grey one up: no colour of the model's.
      {"plain.obj",
       "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
       {},
       {{o, green}, {x, green}, {y, green}}},
      {"colours.obj",
       "v 0 0 0 1 0 0\nv 1 0 0 0 0 1\nv 0 1 0 0 1 0\nf 1 2 3\n",
       {},
       {{o, red}, {x, blue}, {y, green}}},
      {"colours.obj",
       "v 0 0 0 1 0 0\nv 1 0 0 0 0 1\nv 0 1 0 0 1 0\nf 1 2 3\n",
       {"--colour", "3366cc80"},
       {{o, rgba(0x3366CC80)}, {x, rgba(0x3366CC80)}, {y, rgba(0x3366CC80)}}},
      {"colours.obj",
       "v 0 0 0 1 0 0\nv 1 0 0 0 0 1\nv 0 1 0 0 1 0\nf 1 2 3\n",
       {"--colour", "FFFF00", "--colour", "model"},
       {{o, red}, {x, blue}, {y, green}}},
      {"plain.stl",
       "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
       "endloop\nendfacet\nendsolid t\n",
       {"--colour", "3366CC"},
       {{o, rgba(0x3366CCFF)}, {x, rgba(0x3366CCFF)}, {y, rgba(0x3366CCFF)}}},
  };
  for (const Case& c : cases) {
    writeFile(dir / c.name, c.content);
    std::vector<std::string> args{(dir / c.name).string(), (dir / "out.3db").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Result r = run(args);
    ASSERT_EQ(r.status, 0) << c.name << r.err;
    std::vector<Coloured> want = c.vertices;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(colouredVertices(readFile(dir / "out.3db")), want) << c.name;
    // Mesh text has no colours: the model's are not lost quietly.
    args[1] = (dir / "out.msh").string();
    r = run(args);
    EXPECT_EQ(r.status, 0) << c.name;
    const bool modelColours = std::any_of(c.vertices.begin(), c.vertices.end(),
                                          [](const Coloured& v) { return v.second != green; });
    const std::string warning =
        !modelColours ? ""
        : c.options.empty() || c.options.back() == "model"
            ? (dir / c.name).string() +
                  ": warning: the model's vertex colours are not kept in mesh text"
            : "--colour: warning: mesh text has no colours";
    EXPECT_EQ(r.err, warning.empty() ? "" : "vorlatic-import: " + warning + "\n") << c.name;
  }
}

// A grid coloured by position: ordered for the device and simplified, every vertex keeps the
// colour of its position.
TEST_F(Import, ColoursStayWithTheirVerticesThroughSimplifying) {
  std::string ply;
  int vertices = 0, faces = 0;
  std::string body;
  for (int v = 0; v <= 60; ++v)
    for (int u = 0; u <= 60; ++u, ++vertices)
      body += std::to_string(u) + " " + std::to_string(v) + " 0 " + std::to_string(u * 4) + " " +
              std::to_string(v * 4) + " 7\n";
  for (int v = 0; v < 60; ++v)
    for (int u = 0; u < 60; ++u, ++faces) {
      const int a = v * 61 + u;
      body += "4 " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
              std::to_string(a + 62) + " " + std::to_string(a + 61) + "\n";
    }
  writeFile(dir / "grid.ply",
            "ply\nformat ascii 1.0\nelement vertex " + std::to_string(vertices) +
                "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                "property uchar green\nproperty uchar blue\nelement face " +
                std::to_string(faces) + "\nproperty list uchar int vertex_indices\nend_header\n" +
                body);
  for (std::vector<std::string> options :
       {std::vector<std::string>{}, {"--max-vertices", "500"}, {"--keep-order"}}) {
    std::vector<std::string> args{(dir / "grid.ply").string(), (dir / "out.3db").string()};
    args.insert(args.end(), options.begin(), options.end());
    Result r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Coloured> out = colouredVertices(readFile(dir / "out.3db"));
    EXPECT_EQ(out.size() <= 500, !options.empty() && options[0] == "--max-vertices");
    for (const auto& [p, colour] : out)
      ASSERT_EQ(colour, threedb::packColour(std::uint8_t(p[0] * 4), std::uint8_t(p[1] * 4), 7, 255))
          << p[0] << " " << p[1];
  }
}

// A tree of two meshes, both the unit triangle: "Leaf", coloured, moved by (10, 0, 0) in node
// Tree/Leaf.003, and "Bark", not coloured, moved by (0, 0, 5) in node Tree/Trunk.
std::string treeGltf() {
  const std::string buffer = littleEndian({0, 0, 0, 1, 0, 0, 0, 1, 0}) +
                             std::string("\0\0\1\0\2\0\0\0", 8) +
                             littleEndian({1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1});
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],
    "nodes":[{"name":"Tree","children":[1,2]},
             {"name":"Leaf.003","mesh":0,"translation":[10,0,0]},
             {"name":"Trunk","mesh":1,"translation":[0,0,5]}],
    "meshes":[{"name":"Leaf","primitives":[{"attributes":{"POSITION":0,"COLOR_0":2},"indices":1}]},
              {"name":"Bark","primitives":[{"attributes":{"POSITION":0},"indices":1}]}],
    "buffers":[{"uri":"data:application/octet-stream;base64,)" +
         base64(buffer) + R"(","byteLength":92}],
    "bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},
                   {"buffer":0,"byteOffset":36,"byteLength":6},
                   {"buffer":0,"byteOffset":44,"byteLength":48}],
    "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",
                  "min":[0,0,0],"max":[1,1,0]},
                 {"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"},
                 {"bufferView":2,"componentType":5126,"count":3,"type":"VEC4"}]})";
}

TEST_F(Import, ListsTheMeshesAndTakesOnlyThoseNamed) {
  writeFile(dir / "tree.gltf", treeGltf());
  const std::string tree = (dir / "tree.gltf").string(), out = (dir / "out.3db").string();
  const std::vector<Coloured> leaf = {{{10, 0, 0}, red}, {{11, 0, 0}, red}, {{10, 1, 0}, red}};
  const std::vector<Coloured> bark = {{{0, 0, 5}, green}, {{1, 0, 5}, green}, {{0, 1, 5}, green}};
  std::vector<Coloured> both = leaf;
  both.insert(both.end(), bark.begin(), bark.end());
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;            // err after "vorlatic-import: "
    std::vector<Coloured> vertices;  // written, when the status is 0 and the output named
  };
  const Case cases[] = {
      {{tree, "--list"},
       0,
       "mesh \"Leaf\" in node \"Tree/Leaf.003\": 1 triangle, 3 vertices, colours\n"
       "mesh \"Bark\" in node \"Tree/Trunk\": 1 triangle, 3 vertices, no colours\n",
       "",
       {}},
      {{tree, out, "--list", "--mesh", "Twig"}, 0, "", "", {}},
      {{tree, out, "--mesh", "Leaf"}, 0, "", "", leaf},
      {{tree, out, "--mesh", "Bark"}, 0, "", "", bark},
      {{tree, out, "--mesh", "Bark", "--mesh", "Leaf"}, 0, "", "", both},
      {{tree, out}, 0, "", "", both},
      {{tree, out, "--mesh", "Leaf", "--mesh", "Twig"},
       2,
       "",
       tree + ": --mesh: no mesh is named \"Twig\"",
       {}},
      {{tree, out, "--mesh"}, 1, "", "--mesh: takes the name of a mesh", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (!c.vertices.empty()) args.push_back("--quiet");
    Result r = run(args);
    EXPECT_EQ(r.status, c.status) << c.args.size();
    if (c.args[1] == "--list") {
      EXPECT_EQ(r.out, c.out);
    }
    const std::string hint = c.status == 1 ? "Try 'vorlatic-import --help'.\n" : "";
    EXPECT_EQ(r.err, c.err.empty() ? "" : "vorlatic-import: " + c.err + "\n" + hint);
    EXPECT_EQ(fs::exists(out), !c.vertices.empty()) << c.args.size();
    if (c.vertices.empty()) continue;
    std::vector<Coloured> want = c.vertices;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(colouredVertices(readFile(out)), want) << c.args.size();
    fs::remove(out);
  }
}

// The list crosses from the reader as bytes: anything but whole entries is refused.
TEST(MeshList, ComesBackWholeOrNotAtAll) {
  const std::vector<importer::MeshEntry> list = {{"Leaf", "Tree/Leaf.003", 2, 4, true},
                                                 {"", "", 0, 0, false}};
  const std::string bytes = importer::encodeMeshList(list);
  std::vector<importer::MeshEntry> back;
  ASSERT_TRUE(importer::decodeMeshList(bytes, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].name + back[0].node, "LeafTree/Leaf.003");
  EXPECT_EQ(back[0].triangles * 10 + back[0].vertices, 24u);
  EXPECT_TRUE(back[0].colours && !back[1].colours);
  const std::size_t firstEntry = importer::encodeMeshList({list[0]}).size();
  for (std::size_t cut = 1; cut < bytes.size(); ++cut)
    EXPECT_EQ(importer::decodeMeshList(bytes.substr(0, cut), back), cut == firstEntry) << cut;
  std::string badFlag = bytes;
  badFlag[16] = 2;
  EXPECT_FALSE(importer::decodeMeshList(badFlag, back));
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
    Result r = run(args);
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

// One triangle (0,0,0) (1,0,0) (0,1,0), then a strip of 200 along x from 0 to 100 and y from 0
// to 1, whose cells a distant point searches ring by ring.
TEST(Shape, LargestDistanceIsToTheNearestTriangle) {
  const std::vector<float> one{0, 0, 0, 1, 0, 0, 0, 1, 0};
  const std::vector<std::uint32_t> oneIndices{0, 1, 2};
  std::vector<float> strip;
  std::vector<std::uint32_t> stripIndices;
  for (int i = 0; i <= 100; ++i) strip.insert(strip.end(), {float(i), 0, 0, float(i), 1, 0});
  for (std::uint32_t i = 0; i < 200; i += 2)
    stripIndices.insert(stripIndices.end(), {i, i + 2, i + 1, i + 1, i + 2, i + 3});
  const struct {
    std::vector<float> points;
    bool onStrip;
    double distance;
  } cases[] = {
      {{0.25f, 0.25f, 2}, false, 2},                   // above the inside
      {{0.5f, -3, 0}, false, 3},                       // beside an edge
      {{1, 1, 0}, false, std::sqrt(0.5)},              // beside the long edge
      {{-3, -4, 0}, false, 5},                         // beyond a corner
      {{0.2f, 0.2f, 0, 0.1f, 0.1f, -7}, false, 7},     // the largest of two
      {{50.5f, 0.5f, 0.25f, 50.5f, 31, 0}, true, 30},  // many cells away
      {{-20, 0.5f, 0, 30.5f, 0.5f, -0.5f}, true, 20},  // beyond the strip's end
      {{}, true, 0},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(importer::largestDistance(c.points, c.onStrip ? strip : one,
                                          c.onStrip ? stripIndices : oneIndices),
                c.distance, 1e-6 * c.distance)
        << "case " << &c - cases;
  EXPECT_EQ(importer::largestDistance({1, 2, 3}, one, {}), HUGE_VAL);
  // Points all round the strip, one at a time: the distance to the rectangle it covers.
  std::uint32_t seed = 1;
  const auto next = [&](float low, float high) {
    seed = seed * 1664525u + 1013904223u;
    return low + (high - low) * float(seed >> 8) / float(1u << 24);
  };
  for (int i = 0; i < 300; ++i) {
    const std::vector<float> point{next(-10, 110), next(-30, 30), next(-5, 5)};
    const double dx = std::max({0.0, -double(point[0]), point[0] - 100.0}),
                 dy = std::max({0.0, -double(point[1]), point[1] - 1.0});
    EXPECT_NEAR(importer::largestDistance(point, strip, stripIndices),
                std::sqrt(dx * dx + dy * dy + double(point[2]) * point[2]), 1e-5)
        << point[0] << ' ' << point[1] << ' ' << point[2];
  }
}

TEST(Progress, OneLineRewrittenInPlaceOnlyWhereEnabled) {
  const struct {
    const char* step;
    int percent;
    const char* line;
  } cases[] = {{"reading", 0, "\rvorlatic-import: reading 0%             "},
               {"simplifying", 55, "\rvorlatic-import: simplifying 55%        "},
               {"writing", 100, "\rvorlatic-import: writing 100%           "}};
  for (const auto& c : cases) EXPECT_EQ(importer::progressLine(c.step, c.percent), c.line);
  std::ostringstream errors;
  {
    importer::Progress progress(errors);  // not a terminal: never enabled
    progress.at("reading", 0);
  }
  EXPECT_EQ(errors.str(), "");
}

struct Refusal {
  std::vector<std::string> args;
  int status;
  std::string diagnostic;  // after "vorlatic-import: "
};

TEST_F(Import, RefusesWhatItCannotDoWordForWord) {
  writeFile(dir / "m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  writeFile(dir / "points.obj", "v 0 0 0\nv 1 0 0\np 1\nl 1 2\n");
  writeFile(dir / "flat.obj", "v 0 0 0\nv 1 1 1\nv 3 3 3\nv 2 0 0\nf 1 2 3\nf 1 4 1\n");
  const std::string m = (dir / "m.obj").string(), out = (dir / "out.3db").string();
  const Refusal cases[] = {
      {{m, (dir / "out.txt").string()},
       1,
       (dir / "out.txt").string() + ": the output must end in .3db, .msh or .smsh"},
      {{m, out, "--max-vertices", "65537"},
       1,
       "--max-vertices: takes a whole number from 3 to 65536"},
      {{m, out, "--max-vertices", "2"}, 1, "--max-vertices: takes a whole number from 3 to 65536"},
      {{m, out, "--fit", "0"}, 1, "--fit: takes a positive number"},
      {{m, out, "--scale", "0"}, 1, "--scale: takes a finite number other than 0"},
      {{(dir / "flat.obj").string(), out},
       2,
       (dir / "flat.obj").string() +
           ": no triangle with an area: every one has its corners on a line"},
      {{m, out, "--up", "x"}, 1, "--up: takes z (or y, the default)"},
      {{m, out, "--colour", "12345"}, 1, "--colour: takes RRGGBB or RRGGBBAA in hex, or model"},
      {{m, out, "--colour", "00ff0g"}, 1, "--colour: takes RRGGBB or RRGGBBAA in hex, or model"},
      {{m, out, "--colour", "#00ff00"}, 1, "--colour: takes RRGGBB or RRGGBBAA in hex, or model"},
      {{m, out, "--colour"}, 1, "--colour: takes RRGGBB or RRGGBBAA in hex, or model"},
      {{m, out, "--wobble"}, 1, "--wobble: is not an option of vorlatic-import"},
      {{m}, 1, ""},
      {{m, m.substr(0, m.size() - 3) + "msh"}, 0, ""},
      {{(dir / "points.obj").string(), out},
       2,
       (dir / "points.obj").string() +
           ": no triangles: 1 point and 1 line, which a 3DB file cannot hold"},
      {{(dir / "missing.obj").string(), out},
       2,
       (dir / "missing.obj").string() + ": cannot open: No such file or directory"},
      {{dir.path().string(), out}, 2, dir.path().string() + ": cannot read: Is a directory"},
  };
  for (const Refusal& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.diagnostic;
    // A usage error is its line and a hint; only a wrong count of paths prints the usage.
    const std::string hint = c.status == 1 ? "Try 'vorlatic-import --help'.\n" : "";
    EXPECT_EQ(r.err, c.diagnostic.empty() ? "" : "vorlatic-import: " + c.diagnostic + "\n" + hint);
    if (c.status == 1) {
      EXPECT_EQ(r.out, c.diagnostic.empty() ? importer::usage : "") << c.diagnostic;
    }
    EXPECT_FALSE(fs::exists(out));
  }
  const std::pair<const char*, std::string> asked[] = {{"--help", std::string(importer::usage)},
                                                       {"--version", "vorlatic-import 0.1\n"}};
  for (const auto& [option, text] : asked) {
    Result r = run({m, option, out});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(r.out, text);
    EXPECT_EQ(r.err, "");
  }
  // A corrupt file of each format: the library's reason, and nothing written.
  const std::pair<const char*, std::string> corrupt[] = {
      {"bad.obj", "v 0 0 0\nf 1 2 3\n"},
      {"bad.gltf", R"({"asset":{"version":"2.0"},"meshes":[)"},
      {"bad.glb", std::string("glTF\2\0\0\0\xFF\0\0\0garbage", 20)},
      {"bad.ply",
       "ply\nformat binary_little_endian 1.0\nelement vertex 9\nproperty float x\n"
       "element face 9\nproperty list uchar int vertex_indices\nend_header\n\1\2"},
      {"bad.stl", "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0\n"},
  };
  for (const auto& [name, content] : corrupt) {
    writeFile(dir / name, content);
    Result r = run({(dir / name).string(), out});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_EQ(r.err.rfind("vorlatic-import: " + (dir / name).string() + ": ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(out)) << name;
  }
  EXPECT_EQ(testing_support::temporaryFiles(dir.path()), "");
}

// A PLY of `count` vertices on a parabola and the element `faces` after them.
std::string plyWith(int count, const std::string& faces) {
  std::string ply = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(count) +
                    "\nproperty float x\nproperty float y\nproperty float z\n" + faces;
  for (int i = 0; i < count; ++i) ply += std::to_string(i) + " " + std::to_string(i * i) + " 0\n";
  return ply;
}

// Faces the library reads wrongly or not at all leave their vertices unused: never quietly.
TEST_F(Import, FacesNotReadAreNotLostQuietly) {
  const std::string face = "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
  struct Case {
    std::string ply;
    int status;
    std::string diagnostic;  // after "vorlatic-import: m.ply: "
  };
  const Case cases[] = {
      {plyWith(6, "element tristrips 1\nproperty list int int vertex_indices\nend_header\n") +
           "7 0 1 2 3 -1 4 5\n",
       2, "its faces are triangle strips (a PLY element tristrips), which are not read"},
      {plyWith(7, face) + "3 0 1 2\n", 0, "warning: 4 of its 7 vertices are used by no triangle"},
      {plyWith(6, face) + "3 0 1 2\n", 0, ""},
      {plyWith(301, face) + "3 0 1 2\n", 2,
       "only 3 of its 301 vertices are used by a triangle: its faces were not read"},
  };
  const std::string m = (dir / "m.ply").string();
  for (const Case& c : cases) {
    writeFile(dir / "m.ply", c.ply);
    Result r = run({m, (dir / "out.3db").string()});
    EXPECT_EQ(r.status, c.status) << c.diagnostic;
    EXPECT_EQ(r.err,
              c.diagnostic.empty() ? "" : "vorlatic-import: " + m + ": " + c.diagnostic + "\n");
    EXPECT_EQ(fs::exists(dir / "out.3db"), c.status == 0);
    fs::remove(dir / "out.3db");
  }
}

// The reader runs apart: whatever goes wrong in it becomes a diagnostic.
#ifndef _WIN32
TEST_F(Import, TheIsolatedReaderFailsAsADiagnostic) {
  writeFile(dir / "m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  struct Case {
    void (*hook)();
    importer::ReaderLimits limits;
    std::string reason;
    bool ignoreChildren = false;  // the importer started with SIGCHLD ignored
  };
  const Case cases[] = {
      {[] { std::abort(); }, {}, "it was killed by signal 6 (Aborted)"},
      // As the out-of-memory killer ends it: no limit of ours was reached.
      {[] { raise(SIGKILL); }, {}, "it was killed by signal 9 (Killed)"},
      {[] { raise(SIGTERM); }, {}, "it was killed by signal 15 (Terminated)", true},
      // One request beyond the limit, as a damaged size field makes: not a model too large.
      {[] {
         std::vector<char> big(std::size_t{1} << 30, 1);
         (void)big;
       },
       {256, 60, 60},
       "it asked for more memory than its limit of 256 MiB at once; the file may be damaged"},
      {[] {
         static std::vector<std::unique_ptr<char[]>> held;
         for (;;) held.emplace_back(new char[std::size_t{4} << 20]);
       },
       {256, 60, 60},
       "it ran out of its 256 MiB of memory"},
      {[] {
         for (volatile unsigned long n = 0;; ++n) {
         }
       },
       {4096, 1, 60},
       "it used up its 1 s of CPU time"},
      {[] { std::this_thread::sleep_for(std::chrono::hours(1)); },
       {4096, 60, 1},
       "it took longer than 1 s"},
  };
  for (const Case& c : cases) {
#if defined(__SANITIZE_ADDRESS__)
    if (c.reason.find("memory") != std::string::npos) continue;  // no address-space limit there
#endif
    importer::Model model;
    std::string error;
    auto before = std::signal(SIGCHLD, c.ignoreChildren ? SIG_IGN : SIG_DFL);
    EXPECT_FALSE(
        importer::readIsolated((dir / "m.obj").string(), {}, c.limits, model, error, {c.hook}));
    std::signal(SIGCHLD, before);
    EXPECT_EQ(error, "the model reader failed: " + c.reason);
  }
  // A reader that crashes or hangs once the model is sent, as some of the library's do in a
  // scene's destructor, has read it well.
  for (void (*after)() : {+[] { std::abort(); }, +[] { pause(); }, +[] {}}) {
    importer::Model model;
    std::string error;
    EXPECT_TRUE(importer::readIsolated((dir / "m.obj").string(), {}, {4096, 60, 60}, model, error,
                                       {nullptr, after}))
        << error;
    EXPECT_EQ(model.indices, (std::vector<std::uint32_t>{0, 1, 2}));
  }
}
#endif

// Keys drawn from a small pool, so that most come several times, among them 0 and -0 and two
// NaNs that differ only in their payload: numbered as a map of the keys' bytes numbers them.
TEST(Weld, NumbersKeysByTheirBitsInTheOrderTheyFirstCome) {
  const float specials[] = {0.0f, -0.0f, std::nanf("1"), std::nanf("2"), 1.0f};
  for (std::size_t words : {std::size_t{3}, std::size_t{4}})
    for (std::size_t count :
         {std::size_t{0}, std::size_t{1}, std::size_t{20}, std::size_t{70000}}) {
      std::vector<float> keys(count * words);
      std::uint32_t state = 12345;
      for (float& value : keys) {
        state = state * 1664525u + 1013904223u;
        value = specials[(state >> 8) % 5] + float((state >> 20) % 4 == 0 ? state % 3 : 0);
      }
      std::map<std::vector<std::uint32_t>, std::uint32_t> seen;
      std::vector<std::uint32_t> expected(count), remap(count, 99);
      for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint32_t> key(words);
        std::memcpy(key.data(), &keys[i * words], 4 * words);
        expected[i] = seen.emplace(key, std::uint32_t(seen.size())).first->second;
      }
      EXPECT_EQ(importer::numberDistinct(keys.data(), count, words, remap.data()), seen.size());
      EXPECT_EQ(remap, expected) << words << " words, " << count << " keys";
    }
}

// Polygons in the plane z = 0, counter-clockwise, with their areas.
struct Polygon {
  const char* name;
  std::vector<Point> corners;
  double area;
};

TEST(Tessellator, CoversEachConcavePolygonExactly) {
  const Polygon polygons[] = {
      {"L", {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}, 3},
      {"dart", {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {1, 1, 0}}, 1},
      {"U",
       {{0, 0, 0}, {3, 0, 0}, {3, 3, 0}, {2, 3, 0}, {2, 1, 0}, {1, 1, 0}, {1, 3, 0}, {0, 3, 0}},
       7},
      // A strip with three teeth: 5 x 1, and 1 x 1 three times.
      {"comb",
       {{0, 0, 0},
        {5, 0, 0},
        {5, 2, 0},
        {4, 2, 0},
        {4, 1, 0},
        {3, 1, 0},
        {3, 2, 0},
        {2, 2, 0},
        {2, 1, 0},
        {1, 1, 0},
        {1, 2, 0},
        {0, 2, 0}},
       8},
      {"square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 1},
  };
  for (const Polygon& p : polygons) {
    for (bool reversed : {false, true}) {
      std::vector<float> positions;
      for (const Point& c : p.corners) positions.insert(positions.end(), c.begin(), c.end());
      std::vector<std::uint32_t> corners(p.corners.size()), triangles;
      for (std::uint32_t i = 0; i < corners.size(); ++i) corners[i] = i;
      if (reversed) std::reverse(corners.begin(), corners.end());
      importer::Tessellator().triangulate(positions, corners.data(), corners.size(), triangles);
      ASSERT_EQ(triangles.size(), 3 * (p.corners.size() - 2)) << p.name;
      double sum = 0;
      for (std::size_t t = 0; t < triangles.size(); t += 3) {
        const float* a = &positions[3 * triangles[t]];
        const float* b = &positions[3 * triangles[t + 1]];
        const float* c = &positions[3 * triangles[t + 2]];
        double signedArea = ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])) / 2;
        EXPECT_GE(reversed ? -signedArea : signedArea, 0) << p.name << ": a triangle turned round";
        sum += signedArea;
      }
      // Same winding throughout and the polygon's area: no overlap, no gap, nothing outside.
      EXPECT_DOUBLE_EQ(reversed ? -sum : sum, p.area) << p.name;
    }
  }
}

// Whatever the polygon's shape, n - 2 triangles that with the polygon itself turned round close a
// surface: each edge of the polygon in one triangle and in its direction, and each cut between
// corners in two, once each way. So no corner is left out, none is added, the winding is kept.
TEST(Tessellator, CutsTwistedAndCrossedPolygonsOnTheirOwnCorners) {
  std::vector<Point> star;  // a pentagram: each corner to the next but one of a regular pentagon
  for (int k = 0; k < 5; ++k)
    star.push_back({float(std::cos(k * 4 * M_PI / 5)), float(std::sin(k * 4 * M_PI / 5)), 0});
  const std::pair<const char*, std::vector<Point>> polygons[] = {
      {"twisted quad", {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0.1f}}},
      {"flat bowtie", {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}}},
      {"non-planar pentagon, a corner folded over",
       {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1, -1, 2}, {0, 2, 0}}},
      {"pentagram", star},
      {"crossed hexagon", {{0, 0, 0}, {3, 0, 0}, {0, 2, 0}, {3, 2, 0}, {2, 1, 0}, {1, 1, 0}}},
      {"crossed pentagon with no ear", {{2, 0, 0}, {0, 2, 0}, {3, 0, 0}, {0, 0, 0}, {3, 3, 0}}},
  };
  for (const auto& [name, points] : polygons) {
    std::vector<float> positions;
    for (const Point& p : points) positions.insert(positions.end(), p.begin(), p.end());
    for (bool reversed : {false, true}) {
      std::vector<std::uint32_t> ring(points.size()), triangles;
      for (std::uint32_t i = 0; i < ring.size(); ++i) ring[i] = i;
      if (reversed) std::reverse(ring.begin(), ring.end());
      importer::Tessellator().triangulate(positions, ring.data(), ring.size(), triangles);
      std::vector<std::vector<std::uint32_t>> faces{{ring.rbegin(), ring.rend()}};
      for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
        faces.push_back({triangles[t], triangles[t + 1], triangles[t + 2]});
      EXPECT_EQ(triangles.size(), 3 * (ring.size() - 2)) << name << reversed;
      EXPECT_TRUE(isClosed(faces)) << name << reversed;
    }
  }
}

// A corner given again right after itself counts once; an outline that comes back to a corner is
// cut into its loops, with no triangle between two visits of it.
TEST(Tessellator, CutsRepeatedCornersIntoTheirLoops) {
  // 5 is where 0 is.
  const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, -1, 0, 0, -1, -1, 0, 0, 0, 0};
  using Corners = std::vector<std::uint32_t>;
  const std::pair<Corners, Corners> cases[] = {
      {{0, 1, 1, 2}, {0, 1, 2}},
      {{0, 1, 2, 2, 0}, {0, 1, 2}},
      {{0, 1, 2, 5}, {0, 1, 2}},
      {{0, 1, 2, 0, 3, 4}, {0, 1, 2, 0, 3, 4}},
  };
  for (const auto& [corners, want] : cases) {
    Corners triangles;
    importer::Tessellator().triangulate(positions, corners.data(), corners.size(), triangles);
    for (auto t = triangles.begin(); t < triangles.end(); t += 3)  // from the smallest corner
      std::rotate(t, std::min_element(t, t + 3), t + 3);
    EXPECT_EQ(triangles, want) << corners.size();
  }
}

}  // namespace

namespace {

// The bundled example, an L-shaped prism with concave ends: its surface area, and its volume by
// the divergence theorem, which is positive only if every triangle faces out.
TEST_F(Import, TheBundledExampleIsAClosedSolidFacingOut) {
  std::vector<Triangle> triangles =
      imported("bracket.obj", readFile(VORLATIC_EXAMPLES_DIR "/bracket.obj"));
  double surface = 0, volume = 0;
  for (const Triangle& t : triangles) {
    surface += area(t);
    volume += (double(t[0][0]) * (double(t[1][1]) * t[2][2] - double(t[1][2]) * t[2][1]) -
               double(t[0][1]) * (double(t[1][0]) * t[2][2] - double(t[1][2]) * t[2][0]) +
               double(t[0][2]) * (double(t[1][0]) * t[2][1] - double(t[1][1]) * t[2][0])) /
              6;
  }
  EXPECT_EQ(triangles.size(), 20u);
  EXPECT_NEAR(surface, 2 * 3 + 8 * 3, 1e-9);
  EXPECT_NEAR(volume, 3 * 3, 1e-9);
}

}  // namespace
