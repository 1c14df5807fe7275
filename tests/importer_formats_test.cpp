// vorlatic-import on models of every format written here, read back exactly; the bundled
// example; faces the library does not read.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "importer_support.h"

namespace fs = std::filesystem;
using importer_support::area;
using importer_support::canonical;
using importer_support::Import;
using importer_support::isClosed;
using importer_support::littleEndian;
using importer_support::Point;
using importer_support::Triangle;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::writeFile;

namespace {

// A triangle (0,0,0) (1,0,0) (0,1,0), as each format spells it.
const std::vector<Triangle> unitTriangle = {{Point{0, 0, 0}, Point{1, 0, 0}, Point{0, 1, 0}}};

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
  RunResult r = run({(dir / "cube.obj").string(), (dir / "out.3db").string(), "--keep-order"});
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
    RunResult r = run({m, (dir / "out.3db").string()});
    EXPECT_EQ(r.status, c.status) << c.diagnostic;
    EXPECT_EQ(r.err,
              c.diagnostic.empty() ? "" : "vorlatic-import: " + m + ": " + c.diagnostic + "\n");
    EXPECT_EQ(fs::exists(dir / "out.3db"), c.status == 0);
    fs::remove(dir / "out.3db");
  }
}

}  // namespace
