// The inspector's picture (--png): the mesh drawn as the device draws it, from its vertex records
// and 16-bit indices, with a real OpenGL. What is computed here needs no OpenGL; render.cpp draws
// and png.cpp writes, both built only where Mesa's off-screen OpenGL and libpng are found.
#pragma once

#include <array>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "threedb/summary.h"

namespace inspector {

// Where the picture is seen from: iso is a three-quarter view from the front right, above.
enum class View { iso, front, back, left, right, top, bottom };
inline constexpr const char* viewNames = "iso, front, back, left, right, top or bottom";

struct PictureSize {
  int width = 480, height = 272;  // the device's screen
};
inline constexpr int maxPictureSide = 4096;

// "WIDTHxHEIGHT", each from 1 to maxPictureSide; false for anything else.
bool parseSize(std::string_view text, PictureSize& size);
// One of viewNames; false for anything else.
bool parseView(std::string_view text, View& view);

// A vertex record as the graphics unit takes it: the colour's bytes (red, green, blue, alpha),
// then x, y and z as the host's floats. On a little-endian host these are the file's own 16 bytes.
struct DeviceVertex {
  std::array<std::uint8_t, 4> colour;
  std::array<float, 3> position;
};
static_assert(sizeof(DeviceVertex) == threedb::vertexRecordSize, "one record, unpadded");

DeviceVertex deviceVertex(const threedb::VertexRecord& record) noexcept;

// The records a picture draws, gathered while the file is read.
struct Picture {
  std::vector<DeviceVertex> vertices;
  std::vector<threedb::FaceRecord> faces;
};

// The faces that can be drawn, as 16-bit indices three by three: those whose corners are all
// vertex records with finite coordinates (a device would read past its array, or draw garbage).
struct Drawable {
  std::vector<std::uint16_t> indices;
  std::uint64_t skipped = 0;  // faces left out
};
Drawable drawableFaces(const Picture& picture);

// OpenGL's matrices, column by column.
struct Camera {
  std::array<double, 16> modelview{}, projection{};
};

// A perspective camera looking at the corners of the drawable faces from `view`, the projection
// zoomed and shifted so that what they cover is centred and spans 80% of the frame's width or
// height, whichever is reached first.
Camera frameCamera(const Picture& picture, const Drawable& drawable, View view, PictureSize size);

// An 8-bit RGB picture, rows from the top.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
};

// "V vertices, T triangles, D draw calls", and how many faces were not drawn, if any.
std::string captionText(const threedb::Summary& summary, std::uint64_t skipped);

// Writes `text` in the image's bottom left corner, in a small bitmap font, clipped to the image.
void drawCaption(Image& image, const std::string& text);

// What a build needs to draw pictures, for the messages of one that cannot.
inline constexpr const char* pictureLibraries =
    "OSMesa and libpng, Debian libosmesa6-dev and libpng-dev";

// True when this build can draw pictures (OSMesa and libpng were found when it was made).
bool pictureAvailable() noexcept;

// Draws the drawable faces of `picture` with OpenGL into `image` (sized `size`): each triangle in
// its vertex colours, shaded by its facing, back faces darker. False with the reason on failure.
bool render(const Picture& picture, const Drawable& drawable, const Camera& camera,
            PictureSize size, Image& image, std::string& reason);

// Writes `image` as a PNG with these tEXt chunks (keyword, Latin-1 text); false when libpng
// fails for a reason of its own or `out` takes fewer bytes than it is given.
bool writePng(std::streambuf& out, const Image& image,
              const std::vector<std::pair<std::string, std::string>>& text);

}  // namespace inspector
