// vorlatic-inspect --png, judged by its pixels: framing, views, sizes, draw calls, depth and the
// darker back faces, read back with libpng.
#include <png.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "inspect.h"
#include "support.h"
#include "threedb/format.h"

namespace fs = std::filesystem;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

struct Png {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  std::map<std::string, std::string> text;
};

bool readRows(png_structp png, png_infop info, std::FILE* file, Png& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB || png_get_bit_depth(png, info) != 8)
    return false;
  out.width = int(png_get_image_width(png, info));
  out.height = int(png_get_image_height(png, info));
  out.rgb.resize(std::size_t(out.width) * out.height * 3);
  for (int row = 0; row < out.height; ++row)
    png_read_row(png, &out.rgb[std::size_t(row) * out.width * 3], nullptr);
  png_read_end(png, info);
  png_textp text;
  int count = 0;
  png_get_text(png, info, &text, &count);
  for (int i = 0; i < count; ++i) out.text[text[i].key] = text[i].text;
  return true;
}

// An 8-bit RGB PNG and its text chunks; an empty picture when it is not one.
Png readPng(const fs::path& path) {
  Png out;
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (!file) return out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!readRows(png, info, file, out)) out = Png{};
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return out;
}

constexpr std::uint32_t red = 0xFF0000FF, green = 0xFF00FF00, blue = 0xFFFF0000,
                        yellow = 0xFF00FFFF, cyan = 0xFFFFFF00, magenta = 0xFFFF00FF;

// A mesh built record by record, each vertex in the colour given.
struct Mesh {
  std::string vertices, faces;
  std::uint32_t vertexCount = 0, faceCount = 0;

  std::uint16_t vertex(float x, float y, float z, std::uint32_t colour) {
    auto record = threedb::encodeVertex(x, y, z);
    threedb::storeLittle32(record.data(), colour);
    vertices.append(record.begin(), record.end());
    return std::uint16_t(vertexCount++);
  }
  void face(std::uint16_t a, std::uint16_t b, std::uint16_t c) {
    auto bytes = threedb::encodeFace(a, b, c);
    faces.append(bytes.begin(), bytes.end());
    ++faceCount;
  }
  // A quad of four new vertices, corners given counter-clockwise as seen from its front.
  void quad(const std::array<std::array<float, 3>, 4>& corners, std::uint32_t colour,
            bool flipped = false) {
    std::uint16_t v[4];
    for (int i = 0; i < 4; ++i) v[i] = vertex(corners[i][0], corners[i][1], corners[i][2], colour);
    if (flipped) std::swap(v[1], v[3]);
    face(v[0], v[1], v[2]);
    face(v[0], v[2], v[3]);
  }
  std::string bytes() const {
    auto header = threedb::encodeHeader(std::int32_t(vertexCount), std::int32_t(faceCount));
    return std::string(header.begin(), header.end()) + vertices + faces;
  }
};

// A box round (cx, cy, cz), half as wide as `half`, each side its own colour: +x red, -x cyan,
// +y green, -y magenta, +z blue, -z yellow; the sides in `flipped` wound the wrong way round.
Mesh colouredBox(float cx, float cy, float cz, float half, const std::string& flipped = "") {
  Mesh mesh;
  const float l[3] = {cx - half, cy - half, cz - half}, h[3] = {cx + half, cy + half, cz + half};
  auto flip = [&flipped](char side) { return flipped.find(side) != std::string::npos; };
  mesh.quad({{{h[0], l[1], h[2]}, {h[0], l[1], l[2]}, {h[0], h[1], l[2]}, {h[0], h[1], h[2]}}}, red,
            flip('x'));
  mesh.quad({{{l[0], l[1], l[2]}, {l[0], l[1], h[2]}, {l[0], h[1], h[2]}, {l[0], h[1], l[2]}}},
            cyan, flip('X'));
  mesh.quad({{{l[0], h[1], h[2]}, {h[0], h[1], h[2]}, {h[0], h[1], l[2]}, {l[0], h[1], l[2]}}},
            green, flip('y'));
  mesh.quad({{{l[0], l[1], l[2]}, {h[0], l[1], l[2]}, {h[0], l[1], h[2]}, {l[0], l[1], h[2]}}},
            magenta, flip('Y'));
  mesh.quad({{{l[0], l[1], h[2]}, {h[0], l[1], h[2]}, {h[0], h[1], h[2]}, {l[0], h[1], h[2]}}},
            blue, flip('z'));
  mesh.quad({{{h[0], l[1], l[2]}, {l[0], l[1], l[2]}, {l[0], h[1], l[2]}, {h[0], h[1], l[2]}}},
            yellow, flip('Z'));
  return mesh;
}

// Which of red, green and blue are lit in a pixel ("rg" for yellow), or "" for a grey one: the
// background and the caption.
std::string hue(const std::uint8_t* p) {
  const int high = std::max({p[0], p[1], p[2]}), low = std::min({p[0], p[1], p[2]});
  if (high - low < 24) return "";
  std::string lit;
  for (int c = 0; c < 3; ++c)
    if (p[c] * 2 > high) lit += "rgb"[c];
  return lit;
}

struct Coverage {
  std::map<std::string, std::uint64_t> pixels;  // by hue
  std::map<std::string, double> brightness;     // mean of the brightest channel, by hue
  int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;  // of every coloured pixel
  std::uint64_t coloured = 0;
};

Coverage coverage(const Png& png) {
  Coverage c;
  for (int y = 0; y < png.height; ++y) {
    for (int x = 0; x < png.width; ++x) {
      const std::uint8_t* p = &png.rgb[(std::size_t(y) * png.width + x) * 3];
      std::string h = hue(p);
      if (h.empty()) continue;
      ++c.coloured;
      ++c.pixels[h];
      c.brightness[h] += std::max({p[0], p[1], p[2]});
      c.left = std::min(c.left, x);
      c.right = std::max(c.right, x);
      c.top = std::min(c.top, y);
      c.bottom = std::max(c.bottom, y);
    }
  }
  for (auto& [h, sum] : c.brightness) sum /= double(c.pixels[h]);
  return c;
}

class Picture : public ::testing::Test {
 protected:
  // Draws `mesh` with the extra options; the picture, or an empty one after a failure.
  Png draw(const std::string& bytes, std::vector<std::string> options = {}) {
    writeFile(file, bytes);
    std::vector<std::string> args = {"vorlatic-inspect", file.string(), "--png", png.string()};
    args.insert(args.end(), options.begin(), options.end());
    std::ostringstream out, err;
    int status = inspector::run(args, out, err);
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_EQ(err.str(), "");
    return readPng(png);
  }
  ScratchDir dir;
  fs::path file = dir / "mesh.3db";
  fs::path png = dir / "mesh.png";
};

// Every view shows the sides that face it and no other, centred, and the box spans 80% of the
// frame's width or height, whichever it reaches first; at every size.
TEST_F(Picture, EachViewShowsItsSidesCentredAtEverySize) {
  // A corner cut off a box: nearer to the eye on one side than on the other, so that its
  // picture is lopsided about the middle of its box.
  Mesh corner;
  corner.face(corner.vertex(4, 0, 0, red), corner.vertex(0, 4, 0, red),
              corner.vertex(0, 0, 4, red));
  const std::string box = colouredBox(10, -5, 3, 2).bytes(), cut = corner.bytes();
  const struct {
    const char* view;
    int width, height;
    const std::string& mesh;
    std::set<std::string> hues;
  } cases[] = {
      {"iso", 480, 272, box, {"r", "g", "b"}}, {"front", 480, 272, box, {"b"}},
      {"back", 200, 300, box, {"rg"}},         {"left", 64, 64, box, {"gb"}},
      {"right", 300, 100, box, {"r"}},         {"top", 480, 272, box, {"g"}},
      {"bottom", 480, 272, box, {"rb"}},       {"front", 300, 300, cut, {"r"}},
      {"iso", 480, 272, cut, {"r"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> options = {"--view", c.view};
    if (c.width != 480 || c.height != 272)
      options.insert(options.end(),
                     {"--size", std::to_string(c.width) + "x" + std::to_string(c.height)});
    Png picture = draw(c.mesh, options);
    ASSERT_EQ(picture.width, c.width) << c.view;
    ASSERT_EQ(picture.height, c.height) << c.view;
    Coverage seen = coverage(picture);
    std::set<std::string> hues;
    for (const auto& [h, count] : seen.pixels)
      if (count * 100 > seen.coloured) hues.insert(h);  // a side, not the edge between two
    EXPECT_EQ(hues, c.hues) << c.view;
    EXPECT_NEAR(seen.left + seen.right, c.width - 1, 2) << c.view;
    EXPECT_NEAR(seen.top + seen.bottom, c.height - 1, 2) << c.view;
    double span = std::max(double(seen.right - seen.left + 1) / c.width,
                           double(seen.bottom - seen.top + 1) / c.height);
    EXPECT_NEAR(span, 0.8, 0.02) << c.view;
  }
}

// Faces seen from behind are darker than any face seen from in front, in every view.
TEST_F(Picture, FlippedWindingIsDarkerThanAnyFrontFace) {
  for (const char* view : {"iso", "front", "top", "bottom"}) {
    Coverage front = coverage(draw(colouredBox(0, 0, 0, 1).bytes(), {"--view", view}));
    Coverage back = coverage(draw(colouredBox(0, 0, 0, 1, "xXyYzZ").bytes(), {"--view", view}));
    double darkestFront = 255, brightestBack = 0;
    for (const auto& [h, brightness] : front.brightness)
      darkestFront = std::min(darkestFront, brightness);
    for (const auto& [h, brightness] : back.brightness)
      brightestBack = std::max(brightestBack, brightness);
    EXPECT_EQ(back.pixels.size(), front.pixels.size()) << view;
    EXPECT_LT(brightestBack, 0.8 * darkestFront) << view;
  }
}

// Nearer faces hide farther ones whichever is drawn first.
TEST_F(Picture, TheNearerQuadHidesTheFartherOne) {
  const std::array<std::array<float, 3>, 4> near = {
      {{-1, -1, 0.5f}, {1, -1, 0.5f}, {1, 1, 0.5f}, {-1, 1, 0.5f}}};
  auto far = near;
  for (auto& corner : far) corner[2] = -0.5f;
  for (bool nearFirst : {true, false}) {
    Mesh mesh;
    mesh.quad(nearFirst ? near : far, nearFirst ? red : blue);
    mesh.quad(nearFirst ? far : near, nearFirst ? blue : red);
    Coverage seen = coverage(draw(mesh.bytes(), {"--view", "front"}));
    EXPECT_GT(seen.pixels["r"], 10000u) << nearFirst;
    EXPECT_EQ(seen.pixels.count("b"), 0u) << nearFirst;
  }
}

// A grid of 80,000 triangles takes four draw calls: every one of them is drawn, covering what
// two triangles with the same corners cover. The caption counts them.
TEST_F(Picture, EveryDrawCallOfALargeMeshIsDrawn) {
  Mesh grid, square;
  const int side = 200;
  for (int y = 0; y <= side; ++y)
    for (int x = 0; x <= side; ++x) grid.vertex(float(x), float(y), 0, red);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const auto corner = std::uint16_t(y * (side + 1) + x);
      grid.face(corner, std::uint16_t(corner + 1), std::uint16_t(corner + side + 2));
      grid.face(corner, std::uint16_t(corner + side + 2), std::uint16_t(corner + side + 1));
    }
  }
  square.quad({{{0, 0, 0}, {side, 0, 0}, {side, side, 0}, {0, side, 0}}}, red);
  Png whole = draw(square.bytes(), {"--view", "front"});
  Png picture = draw(grid.bytes(), {"--view", "front"});
  EXPECT_EQ(picture.text["Description"], "40401 vertices, 80000 triangles, 4 draw calls");
  EXPECT_EQ(picture.text["Software"], "vorlatic-inspect");
  const double covered = double(coverage(picture).coloured);
  EXPECT_NEAR(covered / double(coverage(whole).coloured), 1.0, 0.005);
}

// Faces that cannot be drawn are counted, not drawn; a mesh without faces is an empty frame.
TEST_F(Picture, TheCaptionCountsWhatCouldNotBeDrawn) {
  Mesh mesh = colouredBox(0, 0, 0, 1);
  mesh.face(0, 1, 999);
  mesh.vertex(0, 0, std::numeric_limits<float>::quiet_NaN(), red);
  mesh.face(0, 1, std::uint16_t(mesh.vertexCount - 1));
  Png picture = draw(mesh.bytes());
  EXPECT_EQ(picture.text["Description"], "25 vertices, 14 triangles, 1 draw call, 2 not drawn");
  EXPECT_EQ(coverage(picture).pixels.size(), 3u);
  Png empty = draw(Mesh().bytes());
  EXPECT_EQ(empty.text["Description"], "0 vertices, 0 triangles, 0 draw calls");
  EXPECT_EQ(coverage(empty).coloured, 0u);
}

TEST_F(Picture, AnInvalidFileGivesNoPicture) {
  std::string cut = colouredBox(0, 0, 0, 1).bytes();
  cut.resize(40);
  writeFile(file, cut);
  std::ostringstream out, err;
  EXPECT_EQ(inspector::run({"vorlatic-inspect", file.string(), "--png", png.string()}, out, err),
            2);
  EXPECT_EQ(err.str(), "vorlatic-inspect: " + file.string() +
                           ": truncated: the file ends after 1 of 24 vertex records\n");
  EXPECT_FALSE(fs::exists(png));
}

}  // namespace
