// Polygons into triangles, concave ones included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace importer {

// Splits polygons into triangles that cover each exactly, keeping its winding. A convex polygon
// is fanned; any other goes to the GLU tessellator, which handles concave and self-intersecting
// outlines (a crossing adds a vertex). Holds one tessellator for all the polygons it is given.
class Tessellator {
 public:
  Tessellator();
  ~Tessellator();
  Tessellator(const Tessellator&) = delete;
  Tessellator& operator=(const Tessellator&) = delete;

  // Appends the triangles of the polygon whose `count` corners are `corners`, indices into
  // `positions` (x, y, z each), to `triangles`; new vertices go at the end of `positions`.
  // A polygon with no area gives no triangle.
  void triangulate(std::vector<float>& positions, const std::uint32_t* corners, std::size_t count,
                   std::vector<std::uint32_t>& triangles);

  struct State;  // what the tessellator's callbacks reach

 private:
  State* state_;
};

}  // namespace importer
