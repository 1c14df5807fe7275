// The inspector's SVG preview: the wireframe from the front, the side and the top.
#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <vector>

#include "threedb/summary.h"

namespace inspector {

// Faces drawn in a preview at most; a larger mesh is drawn from an even sample of its faces.
inline constexpr std::size_t svgFaceLimit = 200000;

// The geometry a preview draws, gathered while the file is read.
struct Preview {
  std::vector<std::array<float, 3>> positions;
  std::vector<threedb::FaceRecord> faces;
};

// Writes the three views (front: x right, y up; side: z right, y up; top: x right, z down), all
// at one scale, and a caption with the counts and the bounding box.
void writeSvg(std::ostream& svg, const Preview& preview, const threedb::Summary& summary);

}  // namespace inspector
