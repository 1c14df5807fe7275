// Polygons into triangles on their own corners: concave, non-planar and self-crossing ones too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace importer {

// Splits polygons into triangles over their own corners, keeping their winding: n distinct corners
// give n - 2 triangles and no vertex is ever added. A convex polygon is fanned; any other is cut
// ear by ear in its best-fit plane. Holds the working space for all the polygons it is given.
class Tessellator {
 public:
  // Appends the triangles of the polygon whose `count` corners are `corners`, indices into
  // `positions` (x, y, z each), to `triangles`. A triangle is passed on as it is. Of corners at
  // one position one after another, one counts; a triangle that would have two corners at one
  // position is left out, so an outline that comes back to a corner gives the triangles of its
  // loops. A polygon of more than three corners, all on one line, gives no triangle.
  void triangulate(const std::vector<float>& positions, const std::uint32_t* corners,
                   std::size_t count, std::vector<std::uint32_t>& triangles);

 private:
  struct Corner {
    std::uint32_t index;       // into the positions
    std::uint32_t prev, next;  // the neighbours not yet cut off
    double x, y;               // in the polygon's plane
    double area;               // twice the signed area of the triangle that cutting it off makes
    double quality;            // of that triangle if it is an ear, else below zero
  };

  bool project(const std::vector<float>& positions);
  void rate(const std::vector<float>& positions, std::uint32_t corner);
  void cutOff(const std::vector<float>& positions, std::uint32_t corner,
              std::vector<std::uint32_t>& triangles) const;
  void cutEars(const std::vector<float>& positions, std::vector<std::uint32_t>& triangles);

  std::vector<Corner> ring_;  // kept, so that cutting a polygon allocates nothing
};

}  // namespace importer
