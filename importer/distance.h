// How far a simplified mesh lies from the points it was made from.
#pragma once

#include <cstdint>
#include <vector>

namespace importer {

// The largest distance from any point of `points` (x, y, z each) to the nearest triangle of
// `indices` (three indices into `positions` each): 0 without points, infinity without triangles.
double largestDistance(const std::vector<float>& points, const std::vector<float>& positions,
                       const std::vector<std::uint32_t>& indices);

}  // namespace importer
