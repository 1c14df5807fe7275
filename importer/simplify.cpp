#include "simplify.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <limits>

#include "distance.h"

namespace importer {
namespace {

constexpr std::size_t vertexSize = 3 * sizeof(float);

// Simplification aims this far below the vertex limit, since the vertices a triangle count
// leaves are only known afterwards.
constexpr double simplifyMargin = 0.97;

// How many times the triangles aimed at a quick first pass leaves for the careful simplifier:
// more keeps more of the careful simplifier's quality, fewer saves its time.
constexpr double coarseFactor = 4;
// The fewest triangles a quick first pass may leave: with fewer, its grid is too coarse to keep
// the outline (a square lost its corners, several units of its 40).
constexpr double coarseLeast = 50000;

}  // namespace

void dropUnused(std::vector<float>& positions, std::vector<std::uint32_t>& colours,
                std::vector<std::uint32_t>& indices) {
  std::vector<std::uint32_t> renumbered(positions.size() / 3, ~0u);
  for (std::uint32_t index : indices) renumbered[index] = 0;
  std::uint32_t kept = 0;
  for (std::size_t v = 0; v < renumbered.size(); ++v) {
    if (renumbered[v] == ~0u) continue;
    std::copy_n(&positions[3 * v], 3, &positions[3 * std::size_t(kept)]);
    if (!colours.empty()) colours[kept] = colours[v];
    renumbered[v] = kept++;
  }
  positions.resize(3 * std::size_t(kept));
  if (!colours.empty()) colours.resize(kept);
  for (std::uint32_t& index : indices) index = renumbered[index];
}

// Simplifies the mesh until it uses at most `limit` vertices. A mesh of many times the triangles
// aimed at first gets a quick pass of the topology-free simplifier (vertices clustered on a
// grid) to `coarseFactor` times that aim, and its vertices left unused are dropped, so that the
// careful simplifier, whose cost grows with the mesh, works on a small one. Then a careful pass
// aimed at the triangle count that leaves about `limit` vertices, and, if the vertices left are
// still too many, a second one on its result aimed by the ratio it showed; the topology-free
// simplifier only if that too falls short. Every pass is counted.
bool simplify(Shaped& out, std::uint32_t limit, std::string& error) {
  const std::vector<float> welded = out.positions;  // what the result is measured against
  const float anyError = std::numeric_limits<float>::max();
  out.trianglesBefore = out.indices.size() / 3;
  std::vector<std::uint32_t> result(out.indices.size());
  const double aim =
      double(out.trianglesBefore) * limit / double(welded.size() / 3) * simplifyMargin;
  if (double(out.trianglesBefore) > 2 * coarseFactor * aim && coarseFactor * aim >= coarseLeast) {
    const std::size_t count =
        meshopt_simplifySloppy(result.data(), out.indices.data(), out.indices.size(),
                               out.positions.data(), out.positions.size() / 3, vertexSize,
                               std::size_t(coarseFactor * aim) * 3, anyError, nullptr);
    if (double(count / 3) >= aim) {  // else the careful simplifier is left the whole mesh
      out.indices.assign(result.begin(), result.begin() + std::ptrdiff_t(count));
      dropUnused(out.positions, out.colours, out.indices);
      out.passes = 1;
    }
  }
  const std::size_t vertexCount = out.positions.size() / 3;
  std::size_t used = vertexCount;
  for (int pass = 0; pass < 3 && used > limit; ++pass, ++out.passes) {
    const double ratio = double(limit) / double(used) * simplifyMargin;
    const std::size_t target =
        std::max<std::size_t>(3, std::size_t(out.indices.size() / 3 * ratio) * 3);
    std::size_t count =
        pass < 2 ? meshopt_simplify(result.data(), out.indices.data(), out.indices.size(),
                                    out.positions.data(), vertexCount, vertexSize, target, anyError,
                                    0, nullptr)
                 : meshopt_simplifySloppy(result.data(), out.indices.data(), out.indices.size(),
                                          out.positions.data(), vertexCount, vertexSize, target,
                                          anyError, nullptr);
    out.indices.assign(result.begin(), result.begin() + std::ptrdiff_t(count));
    used = usedVertices(out.indices, vertexCount);
  }
  if (used > limit) {
    error = "simplified as far as it goes, the mesh still has " + std::to_string(used) +
            " vertices, more than --max-vertices " + std::to_string(limit);
    return false;
  }
  // The simplifier's own figure is relative, and no bound on how far a vertex it removed lies
  // from the result: measured instead, in the output's units.
  out.deviation = largestDistance(welded, out.positions, out.indices);
  return true;
}

}  // namespace importer
