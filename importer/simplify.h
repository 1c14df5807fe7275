// Bringing a welded mesh within a vertex limit, for shape().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shape.h"

namespace importer {

// Simplifies `out` until its triangles use at most `limit` vertices, and measures how far the
// result lies from the welded vertices; false with the reason when it cannot get there.
bool simplify(Shaped& out, std::uint32_t limit, std::string& error);

// Keeps the vertices that some triangle uses, in their order, and renumbers the indices. The
// colours, when there are any, go with their vertices.
void dropUnused(std::vector<float>& positions, std::vector<std::uint32_t>& colours,
                std::vector<std::uint32_t>& indices);

}  // namespace importer
