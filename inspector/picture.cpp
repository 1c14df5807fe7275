#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/diagnostics.h"

namespace inspector {
namespace {

using Vector = std::array<double, 3>;

double dot(const Vector& a, const Vector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vector cross(const Vector& a, const Vector& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The camera's orientation: towards the eye from what it looks at, and rightwards on screen.
struct Orientation {
  Vector back, right;
};

Orientation orientation(View view) {
  switch (view) {
    case View::iso: {
      // 45 degrees round from the front towards the right, 30 degrees up.
      const double s = std::sqrt(0.5), up = 0.5, level = std::sqrt(0.75);
      return {{s * level, up, s * level}, {s, 0, -s}};
    }
    case View::front:
      return {{0, 0, 1}, {1, 0, 0}};
    case View::back:
      return {{0, 0, -1}, {-1, 0, 0}};
    case View::left:
      return {{-1, 0, 0}, {0, 0, 1}};
    case View::right:
      return {{1, 0, 0}, {0, 0, -1}};
    case View::top:
      return {{0, 1, 0}, {1, 0, 0}};
    case View::bottom:
      return {{0, -1, 0}, {1, 0, 0}};
  }
  return {};
}

Vector positionOf(const DeviceVertex& vertex) {
  return {vertex.position[0], vertex.position[1], vertex.position[2]};
}

// The middle of the box round the drawn corners and the largest distance of a corner from it.
void bounds(const Picture& picture, const Drawable& drawable, Vector& centre, double& radius) {
  Vector low, high;
  low.fill(std::numeric_limits<double>::infinity());
  high.fill(-std::numeric_limits<double>::infinity());
  for (std::uint16_t index : drawable.indices) {
    Vector p = positionOf(picture.vertices[index]);
    for (int axis = 0; axis < 3; ++axis) {
      low[axis] = std::min(low[axis], p[axis]);
      high[axis] = std::max(high[axis], p[axis]);
    }
  }
  centre = {0, 0, 0};
  radius = 0;
  if (drawable.indices.empty()) return;
  for (int axis = 0; axis < 3; ++axis) centre[axis] = low[axis] / 2 + high[axis] / 2;
  for (std::uint16_t index : drawable.indices) {
    Vector p = positionOf(picture.vertices[index]);
    Vector d{p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
    radius = std::max(radius, std::sqrt(dot(d, d)));
  }
}

}  // namespace

bool parseSize(std::string_view text, PictureSize& size) {
  int sides[2] = {0, 0};
  int side = 0;
  std::size_t digits = 0;
  for (char c : text) {
    if (c == 'x' && side == 0 && digits > 0) {
      side = 1;
      digits = 0;
    } else if (c >= '0' && c <= '9' && sides[side] <= maxPictureSide) {
      sides[side] = sides[side] * 10 + (c - '0');
      ++digits;
    } else {
      return false;
    }
  }
  for (int value : sides)
    if (value < 1 || value > maxPictureSide) return false;
  if (side != 1 || digits == 0) return false;
  size = {sides[0], sides[1]};
  return true;
}

bool parseView(std::string_view text, View& view) {
  const std::pair<std::string_view, View> views[] = {
      {"iso", View::iso},     {"front", View::front}, {"back", View::back},    {"left", View::left},
      {"right", View::right}, {"top", View::top},     {"bottom", View::bottom}};
  for (const auto& [name, value] : views) {
    if (text == name) {
      view = value;
      return true;
    }
  }
  return false;
}

DeviceVertex deviceVertex(const threedb::VertexRecord& record) noexcept {
  DeviceVertex vertex;
  // The colour word's bytes as the file stores them, whatever the host's order; the coordinates'
  // bits as the host's floats (on a big-endian host, the file's bytes turned round), copied, so
  // that not even a signalling NaN is touched.
  threedb::storeLittle32(vertex.colour.data(), record.colour);
  const std::uint32_t bits[3] = {record.xBits, record.yBits, record.zBits};
  std::memcpy(vertex.position.data(), bits, sizeof bits);
  return vertex;
}

Drawable drawableFaces(const Picture& picture) {
  Drawable drawable;
  drawable.indices.reserve(3 * picture.faces.size());
  auto usable = [&picture](std::uint16_t index) {
    if (index >= picture.vertices.size()) return false;
    const auto& p = picture.vertices[index].position;
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
  };
  for (const threedb::FaceRecord& face : picture.faces) {
    if (usable(face.a) && usable(face.b) && usable(face.c))
      drawable.indices.insert(drawable.indices.end(), {face.a, face.b, face.c});
    else
      ++drawable.skipped;
  }
  return drawable;
}

Camera frameCamera(const Picture& picture, const Drawable& drawable, View view, PictureSize size) {
  Vector centre;
  double radius;
  bounds(picture, drawable, centre, radius);
  if (!(radius > 0) || !std::isfinite(radius)) radius = 1;
  const Orientation o = orientation(view);
  const Vector up = cross(o.back, o.right);
  // Three radii away: a mild perspective, and every corner between the near and far planes.
  const double distance = 3 * radius, near = 1.9 * radius, far = 4.1 * radius;
  const double aspect = double(size.height) / size.width;  // x on screen per unit of y

  // Where each corner lands on the screen, before zooming, in units of the frame's half sides.
  double low[2] = {0, 0}, high[2] = {0, 0};
  bool any = false;
  for (std::uint16_t index : drawable.indices) {
    Vector p = positionOf(picture.vertices[index]);
    Vector d{p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
    const double depth = distance - dot(d, o.back);
    const double screen[2] = {aspect * dot(d, o.right) / depth, dot(d, up) / depth};
    for (int axis = 0; axis < 2; ++axis) {
      low[axis] = any ? std::min(low[axis], screen[axis]) : screen[axis];
      high[axis] = any ? std::max(high[axis], screen[axis]) : screen[axis];
    }
    any = true;
  }
  double zoom = std::numeric_limits<double>::infinity();
  for (int axis = 0; axis < 2; ++axis)
    if (high[axis] > low[axis]) zoom = std::min(zoom, 1.6 / (high[axis] - low[axis]));
  if (!std::isfinite(zoom)) zoom = 1;
  const double shift[2] = {(low[0] + high[0]) / 2, (low[1] + high[1]) / 2};

  Camera camera;
  auto& m = camera.modelview;
  const Vector* rows[3] = {&o.right, &up, &o.back};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) m[column * 4 + row] = (*rows[row])[column];
    m[12 + row] = -dot(*rows[row], centre);
  }
  m[14] -= distance;
  m[15] = 1;
  // Screen x = zoom * (aspect * x / -z - shift), likewise y; the depth as glFrustum's.
  auto& p = camera.projection;
  p[0] = zoom * aspect;
  p[5] = zoom;
  p[8] = zoom * shift[0];
  p[9] = zoom * shift[1];
  p[10] = -(far + near) / (far - near);
  p[11] = -1;
  p[14] = -2 * far * near / (far - near);
  return camera;
}

std::string captionText(const threedb::Summary& summary, std::uint64_t skipped) {
  const std::uint64_t calls = threedb::deviceFigures(summary).drawCalls;
  std::string text = common::plural(summary.vertices, "vertex", "vertices") + ", " +
                     common::plural(summary.faces, "triangle", "triangles") + ", " +
                     common::plural(calls, "draw call", "draw calls");
  if (skipped > 0) text += ", " + std::to_string(skipped) + " not drawn";
  return text;
}

#ifdef VORLATIC_PNG
bool pictureAvailable() noexcept { return true; }
#else
// A build without the libraries: the command line refuses --png before anything is drawn.
bool pictureAvailable() noexcept { return false; }

bool render(const Picture&, const Drawable&, const Camera&, PictureSize, Image&,
            std::string& reason) {
  reason = "this build cannot draw";
  return false;
}

bool writePng(std::streambuf&, const Image&,
              const std::vector<std::pair<std::string, std::string> >&) {
  return false;
}
#endif

}  // namespace inspector
