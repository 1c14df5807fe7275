// vorlatic-import's colours: each vertex's from the model, kept through simplifying, and the
// meshes of a scene listed and taken by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "importer_support.h"

namespace fs = std::filesystem;
using importer_support::base64;
using importer_support::blue;
using importer_support::Coloured;
using importer_support::colouredVertices;
using importer_support::green;
using importer_support::Import;
using importer_support::littleEndian;
using importer_support::Point;
using importer_support::red;
using importer_support::rgba;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::writeFile;

namespace {

// The views and accessors of a buffer holding the unit triangle's positions (36 bytes), its
// indices (6, padded to 8) and an RGBA colour a corner (48).
const std::string unitTriangleViews = R"(
    "bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},
                   {"buffer":0,"byteOffset":36,"byteLength":6},
                   {"buffer":0,"byteOffset":44,"byteLength":48}],
    "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",
                  "min":[0,0,0],"max":[1,1,0]},
                 {"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"},
                 {"bufferView":2,"componentType":5126,"count":3,"type":"VEC4"}]})";

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
         R"(","byteLength":)" + std::to_string(buffer.size()) + "}]," + unitTriangleViews;
}

const std::string colourPlyHeader =
    "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\nproperty float y\n"
    "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
    "element face 2\nproperty list uchar int vertex_indices\nend_header\n";
const Point origin{0, 0, 0}, alongX{1, 0, 0}, alongY{0, 1, 0}, below{0, -1, 0};

struct ColourCase {
  const char* name;
  std::string content;
  std::vector<std::string> options;
  std::vector<Coloured> vertices;
};

const ColourCase colourCases[] = {
    // Linear light to sRGB: 0.5 is 188; alpha is kept as it is.
    {"colours.gltf",
     colouredGltf({0.5f, 0, 0, 1, 0, 0.5f, 0, 1, 0, 0, 1, 0.5f}, ""),
     {},
     {{origin, rgba(0xBC0000FF)}, {alongX, rgba(0x00BC00FF)}, {alongY, rgba(0x0000FF80)}}},
    {"material.gltf",
     colouredGltf({}, "[0.5,0.25,1,0.5]"),
     {},
     {{origin, rgba(0xBC89FF80)}, {alongX, rgba(0xBC89FF80)}, {alongY, rgba(0xBC89FF80)}}},
    {"none.gltf", colouredGltf({}, ""), {}, {{origin, green}, {alongX, green}, {alongY, green}}},
    // One position in two colours stays two vertices; one in the same colour is welded.
    {"seam.ply",
     colourPlyHeader + "0 0 0 255 0 0\n1 0 0 255 0 0\n0 1 0 255 0 0\n0 0 0 0 0 255\n"
                       "1 0 0 255 0 0\n0 -1 0 0 128 0\n3 0 1 2\n3 3 5 4\n",
     {},
     {{below, rgba(0x008000FF)}, {origin, blue}, {origin, red}, {alongX, red}, {alongY, red}}},
    {"material.obj",
     "mtllib blue.mtl\nusemtl blue\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
     {},
     {{origin, blue}, {alongX, blue}, {alongY, blue}}},
    // Without a material file, the library makes a grey one up: no colour of the model's.
    {"plain.obj",
     "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
     {},
     {{origin, green}, {alongX, green}, {alongY, green}}},
    {"colours.obj",
     "v 0 0 0 1 0 0\nv 1 0 0 0 0 1\nv 0 1 0 0 1 0\nf 1 2 3\n",
     {},
     {{origin, red}, {alongX, blue}, {alongY, green}}},
    {"colours.obj",
     "v 0 0 0 1 0 0\nv 1 0 0 0 0 1\nv 0 1 0 0 1 0\nf 1 2 3\n",
     {"--colour", "3366cc80"},
     {{origin, rgba(0x3366CC80)}, {alongX, rgba(0x3366CC80)}, {alongY, rgba(0x3366CC80)}}},
    {"colours.obj",
     "v 0 0 0 1 0 0\nv 1 0 0 0 0 1\nv 0 1 0 0 1 0\nf 1 2 3\n",
     {"--colour", "FFFF00", "--colour", "model"},
     {{origin, red}, {alongX, blue}, {alongY, green}}},
    {"plain.stl",
     "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
     "endloop\nendfacet\nendsolid t\n",
     {"--colour", "3366CC"},
     {{origin, rgba(0x3366CCFF)}, {alongX, rgba(0x3366CCFF)}, {alongY, rgba(0x3366CCFF)}}},
};

// What converting `c`, read from `model`, to mesh text warns of: mesh text has no colours, so
// the model's are not lost quietly.
std::string meshTextWarning(const ColourCase& c, const std::string& model) {
  const bool modelColours = std::any_of(c.vertices.begin(), c.vertices.end(),
                                        [](const Coloured& v) { return v.second != green; });
  const std::string warning =
      !modelColours ? ""
      : c.options.empty() || c.options.back() == "model"
          ? model + ": warning: the model's vertex colours are not kept in mesh text"
          : "--colour: warning: mesh text has no colours";
  return warning.empty() ? "" : "vorlatic-import: " + warning + "\n";
}

TEST_F(Import, TakesEachVertexsColourFromTheModel) {
  writeFile(dir / "blue.mtl", "newmtl blue\nKd 0 0 1\n");
  for (const ColourCase& c : colourCases) {
    writeFile(dir / c.name, c.content);
    std::vector<std::string> args{(dir / c.name).string(), (dir / "out.3db").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    RunResult r = run(args);
    ASSERT_EQ(r.status, 0) << c.name << r.err;
    std::vector<Coloured> want = c.vertices;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(colouredVertices(readFile(dir / "out.3db")), want) << c.name;
    args[1] = (dir / "out.msh").string();
    r = run(args);
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.err, meshTextWarning(c, (dir / c.name).string())) << c.name;
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
    RunResult r = run(args);
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
         base64(buffer) + R"(","byteLength":92}],)" + unitTriangleViews;
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
    RunResult r = run(args);
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

}  // namespace
