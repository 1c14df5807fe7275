#include "tessellate.h"

#include <cmath>
#include <limits>

// Written here rather than taken from a library: GLU's tessellator adds a vertex where two edges
// of a non-planar or self-crossing polygon cross in its projection and drops corners it sees on a
// line, and the triangulation of the assimp that Debian ships cuts concave outlines wrongly.
// Neither keeps a polygon on its own corners.

namespace importer {
namespace {

struct Vec {
  double x, y, z;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec at(const std::vector<float>& positions, std::uint32_t index) {
  const float* p = &positions[3 * std::size_t(index)];
  return {p[0], p[1], p[2]};
}

bool samePosition(const std::vector<float>& positions, std::uint32_t a, std::uint32_t b) {
  const float* p = &positions[3 * std::size_t(a)];
  const float* q = &positions[3 * std::size_t(b)];
  return a == b || (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]);
}

template <class Point>
double orient(const Point& a, const Point& b, const Point& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

template <class Point>
bool samePlace(const Point& a, const Point& b) {
  return a.x == b.x && a.y == b.y;
}

// True for a strictly convex outline that goes round once: every turn to the same side, and
// each coordinate changing direction at most twice (a star turns one way too, but goes round
// more than once).
template <class Point>
bool isConvex(const std::vector<Point>& points) {
  const std::size_t n = points.size();
  int side = 0, turnsX = 0, turnsY = 0;
  double lastX = 0, lastY = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Point& p = points[i];
    const Point& q = points[(i + 1) % n];
    const Point& r = points[(i + 2) % n];
    double turn = orient(p, q, r);
    int sign = turn > 0 ? 1 : turn < 0 ? -1 : 0;
    if (sign == 0 || (side != 0 && sign != side)) return false;
    side = sign;
    const double dx = q.x - p.x, dy = q.y - p.y;
    if (dx != 0) {
      turnsX += lastX != 0 && (dx > 0) != (lastX > 0);
      lastX = dx;
    }
    if (dy != 0) {
      turnsY += lastY != 0 && (dy > 0) != (lastY > 0);
      lastY = dy;
    }
  }
  return turnsX <= 2 && turnsY <= 2;
}

// True for a quad that turns the same way at each of its four corners, seen along its own
// normal: the fan that the general path would give it. Most models are mostly such quads, and
// this spares them the projection into a plane (a tenth of the time of a large import). Newell's
// normal of a quad is the cross product of its diagonals. A quad that turns one way at every
// corner goes round once, so no other test is needed; anything less clear-cut, corners at one
// position included, takes the general path.
bool convexQuad(const std::vector<float>& positions, const std::uint32_t* corners) {
  const Vec p[4] = {at(positions, corners[0]), at(positions, corners[1]), at(positions, corners[2]),
                    at(positions, corners[3])};
  const Vec normal = cross(p[2] - p[0], p[3] - p[1]);
  for (int i = 0; i < 4; ++i)
    if (!(dot(cross(p[i] - p[(i + 3) % 4], p[(i + 1) % 4] - p[i]), normal) > 0)) return false;
  return true;
}

}  // namespace

void Tessellator::triangulate(const std::vector<float>& positions, const std::uint32_t* corners,
                              std::size_t count, std::vector<std::uint32_t>& triangles) {
  if (count < 3) return;
  if (count == 3) {
    triangles.insert(triangles.end(), corners, corners + 3);
    return;
  }
  if (count == 4 && convexQuad(positions, corners)) {
    triangles.insert(triangles.end(),
                     {corners[0], corners[1], corners[2], corners[0], corners[2], corners[3]});
    return;
  }
  ring_.clear();
  for (std::size_t i = 0; i < count; ++i)
    if (ring_.empty() || !samePosition(positions, corners[i], ring_.back().index))
      ring_.push_back({corners[i], 0, 0, 0, 0, 0, 0});
  while (ring_.size() > 1 && samePosition(positions, ring_.back().index, ring_.front().index))
    ring_.pop_back();
  const std::size_t n = ring_.size();
  if (n < 3) return;
  if (n > 3) {
    if (!project(positions)) return;  // all on one line
    // Fanned: exact for a convex polygon, and far cheaper for the quads most models are made of.
    if (!isConvex(ring_)) return cutEars(positions, triangles);
  }
  for (std::size_t i = 1; i + 1 < n; ++i)
    triangles.insert(triangles.end(), {ring_[0].index, ring_[i].index, ring_[i + 1].index});
}

// Gives each corner of the ring its place in the polygon's best-fit plane; false when the
// corners are all on one line.
bool Tessellator::project(const std::vector<float>& positions) {
  const std::size_t n = ring_.size();
  // Newell's normal: the polygon's own winding, and the plane that fits it best.
  const Vec origin = at(positions, ring_[0].index);
  Vec normal{0, 0, 0};
  for (std::size_t i = 1; i + 1 < n; ++i) {
    Vec c =
        cross(at(positions, ring_[i].index) - origin, at(positions, ring_[i + 1].index) - origin);
    normal = {normal.x + c.x, normal.y + c.y, normal.z + c.z};
  }
  if (dot(normal, normal) == 0) {
    // Loops that cancel out, as in a flat figure eight: the plane of the largest corner.
    double largest = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const Vec p = at(positions, ring_[(i + n - 1) % n].index);
      const Vec q = at(positions, ring_[i].index);
      Vec c = cross(q - p, at(positions, ring_[(i + 1) % n].index) - q);
      if (dot(c, c) > largest) largest = dot(c, c), normal = c;
    }
    if (largest == 0) return false;
  }
  // Two unit axes across the normal, turned so that the polygon goes round it anticlockwise.
  const double ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
  Vec axis{0, 0, 1};  // the one the normal is furthest from
  if (ax <= ay && ax <= az) {
    axis = {1, 0, 0};
  } else if (ay <= az) {
    axis = {0, 1, 0};
  }
  Vec u = cross(normal, axis);
  Vec v = cross(normal, u);
  const double lengthU = std::sqrt(dot(u, u)), lengthV = std::sqrt(dot(v, v));
  u = {u.x / lengthU, u.y / lengthU, u.z / lengthU};
  v = {v.x / lengthV, v.y / lengthV, v.z / lengthV};
  for (Corner& c : ring_) {
    const Vec d = at(positions, c.index) - origin;
    c.x = dot(d, u);
    c.y = dot(d, v);
  }
  return true;
}

// Cutting the corner off adds nothing when two corners of its triangle are at one position (where
// an outline comes back to a corner): best of all. Otherwise an ear, a corner that turns the
// polygon's way with no other corner in its triangle, is rated by the triangle's shape, so that
// slivers are left for last.
void Tessellator::rate(const std::vector<float>& positions, std::uint32_t corner) {
  Corner& c = ring_[corner];
  const Corner& a = ring_[c.prev];
  const Corner& b = ring_[c.next];
  c.area = orient(a, c, b);
  c.quality = -1;
  if (samePosition(positions, a.index, c.index) || samePosition(positions, c.index, b.index) ||
      samePosition(positions, a.index, b.index)) {
    c.quality = std::numeric_limits<double>::infinity();
    return;
  }
  if (!(c.area > 0)) return;
  for (std::uint32_t i = b.next; i != c.prev; i = ring_[i].next) {
    const Corner& p = ring_[i];
    if (samePlace(p, a) || samePlace(p, c) || samePlace(p, b)) continue;
    if (orient(a, c, p) >= 0 && orient(c, b, p) >= 0 && orient(b, a, p) >= 0) return;
  }
  const double sides = (c.x - a.x) * (c.x - a.x) + (c.y - a.y) * (c.y - a.y) +
                       (b.x - c.x) * (b.x - c.x) + (b.y - c.y) * (b.y - c.y) +
                       (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
  c.quality = c.area / sides;
}

// Ear clipping, O(n^2): after a cut only the two neighbours are rated again. In an outline that
// does not cross itself, a triangle that holds any corner holds one that turns the other way, so
// cutting off an ear never frees another. An outline that crosses itself may have no ear left: then
// the corner with the largest triangle is cut, the one that turns the polygon's way most or the
// other way least, so the polygon still ends as triangles on its own corners.
void Tessellator::cutEars(const std::vector<float>& positions,
                          std::vector<std::uint32_t>& triangles) {
  const std::uint32_t n = std::uint32_t(ring_.size());
  for (std::uint32_t i = 0; i < n; ++i) {
    ring_[i].prev = (i + n - 1) % n;
    ring_[i].next = (i + 1) % n;
  }
  for (std::uint32_t i = 0; i < n; ++i) rate(positions, i);
  std::uint32_t first = 0;  // any corner not yet cut off
  for (std::uint32_t left = n; left > 3; --left) {
    std::uint32_t ear = first, largest = first;
    std::uint32_t i = first;
    do {
      if (ring_[i].quality > ring_[ear].quality) ear = i;
      if (ring_[i].area > ring_[largest].area) largest = i;
      i = ring_[i].next;
    } while (i != first);
    if (ring_[ear].quality < 0) ear = largest;
    cutOff(positions, ear, triangles);
    const Corner& c = ring_[ear];
    ring_[c.prev].next = c.next;
    ring_[c.next].prev = c.prev;
    first = c.next;
    rate(positions, c.prev);
    rate(positions, c.next);
  }
  cutOff(positions, first, triangles);
}

void Tessellator::cutOff(const std::vector<float>& positions, std::uint32_t corner,
                         std::vector<std::uint32_t>& triangles) const {
  const Corner& c = ring_[corner];
  const std::uint32_t a = ring_[c.prev].index, b = ring_[c.next].index;
  if (!samePosition(positions, a, c.index) && !samePosition(positions, c.index, b) &&
      !samePosition(positions, a, b))
    triangles.insert(triangles.end(), {a, c.index, b});
}

}  // namespace importer
