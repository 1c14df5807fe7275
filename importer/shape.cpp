#include "shape.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "weld.h"

namespace importer {
namespace {

constexpr std::size_t vertexSize = 3 * sizeof(float);
constexpr std::size_t colourSize = sizeof(std::uint32_t);

// Simplification aims this far below the vertex limit, since the vertices a triangle count
// leaves are only known afterwards.
constexpr double simplifyMargin = 0.97;

// How many times the triangles aimed at a quick first pass leaves for the careful simplifier:
// more keeps more of the careful simplifier's quality, fewer saves its time.
constexpr double coarseFactor = 4;
// The fewest triangles a quick first pass may leave: with fewer, its grid is too coarse to keep
// the outline (a square lost its corners, several units of its 40).
constexpr double coarseLeast = 50000;

// Keeps the vertices that some triangle uses, in their order, and renumbers the indices. The
// colours, when there are any, go with their vertices.
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

// One vertex per distinct position and colour, in the order the model first has each; then the
// triangles that welding made degenerate dropped. A position with two colours stays two
// vertices, so that neither colour bleeds into the other's triangles.
void weld(Model& model, Shaped& out) {
  const std::size_t count = model.vertexCount();
  std::vector<std::uint32_t> remap(count);
  const bool coloured = !model.colours.empty();
  std::size_t unique = 0;
  if (coloured) {
    // Each vertex as its position and colour side by side, compared as one.
    std::vector<std::uint32_t> keys(4 * count);
    for (std::size_t v = 0; v < count; ++v) {
      std::memcpy(&keys[4 * v], &model.positions[3 * v], vertexSize);
      keys[4 * v + 3] = model.colours[v];
    }
    unique = numberDistinct(keys.data(), count, 4, remap.data());
  } else {
    unique = numberDistinct(model.positions.data(), count, 3, remap.data());
  }
  out.positions.resize(3 * unique);
  meshopt_remapVertexBuffer(out.positions.data(), model.positions.data(), count, vertexSize,
                            remap.data());
  std::vector<float>().swap(model.positions);
  out.colours.resize(coloured ? unique : 0);
  if (coloured)
    meshopt_remapVertexBuffer(out.colours.data(), model.colours.data(), count, colourSize,
                              remap.data());
  std::vector<std::uint32_t>().swap(model.colours);
  out.indices.clear();
  out.indices.reserve(model.indices.size());
  for (std::size_t t = 0; t < model.indices.size(); t += 3) {
    std::uint32_t a = remap[model.indices[t]], b = remap[model.indices[t + 1]],
                  c = remap[model.indices[t + 2]];
    if (a == b || b == c || a == c) {
      ++out.degenerate;
      continue;
    }
    out.indices.insert(out.indices.end(), {a, b, c});
  }
  std::vector<std::uint32_t>().swap(model.indices);
  dropUnused(out.positions, out.colours, out.indices);
  out.verticesWelded = out.positions.size() / 3;
}

// Transforms the positions; false with the option whose result does not fit in a float.
bool transform(std::vector<float>& positions, const ShapeOptions& options, std::string& option) {
  if (options.zUp)  // a quarter turn about x: y takes z's place, z takes -y's
    for (std::size_t i = 0; i < positions.size(); i += 3) {
      float y = positions[i + 1];
      positions[i + 1] = positions[i + 2];
      positions[i + 2] = -y;
    }
  if (positions.empty()) return true;
  float low[3], high[3];
  std::fill_n(low, 3, std::numeric_limits<float>::infinity());
  std::fill_n(high, 3, -std::numeric_limits<float>::infinity());
  for (std::size_t i = 0; i < positions.size(); ++i) {
    low[i % 3] = std::min(low[i % 3], positions[i]);
    high[i % 3] = std::max(high[i % 3], positions[i]);
  }
  // The centre and the extents in double: in float, the sum or difference of two coordinates
  // near the largest float is infinite.
  float shift[3] = {0, 0, 0};
  double largest = 0;  // the largest magnitude after centring
  for (int axis = 0; axis < 3; ++axis) {
    if (options.center) shift[axis] = float(-(double(low[axis]) + high[axis]) / 2);
    largest = std::max({largest, std::fabs(double(low[axis]) + shift[axis]),
                        std::fabs(double(high[axis]) + shift[axis])});
  }
  double factor = options.scale.value_or(1.0f);
  double fitFactor = 1;
  if (options.fit) {
    double extent =
        std::max({double(high[0]) - low[0], double(high[1]) - low[1], double(high[2]) - low[2]});
    if (extent > 0) fitFactor = *options.fit / extent;
  }
  // In double, then checked: a factor beyond float's range may still bring tiny coordinates
  // within it, and a result beyond it must not become infinite.
  const double product = factor * fitFactor, most = std::numeric_limits<float>::max();
  bool fits = true;
  for (std::size_t i = 0; fits && i < positions.size(); ++i) {
    const double value = (double(positions[i]) + shift[i % 3]) * product;
    fits = std::fabs(value) <= most;
    if (fits) positions[i] = float(value);
  }
  if (fits) return true;
  option = options.fit && largest * fitFactor > most ? "--fit"
           : options.scale                           ? "--scale"
           : options.fit                             ? "--fit"
                                                     : "--center";
  return false;
}

// Whether some triangle has an area above zero, its corners not on one line.
bool hasArea(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices) {
  for (std::size_t t = 0; t < indices.size(); t += 3) {
    const float *a = &positions[3 * std::size_t(indices[t])],
                *b = &positions[3 * std::size_t(indices[t + 1])],
                *c = &positions[3 * std::size_t(indices[t + 2])];
    double u[3], w[3];
    for (int i = 0; i < 3; ++i) u[i] = double(b[i]) - a[i], w[i] = double(c[i]) - a[i];
    if (u[1] * w[2] != u[2] * w[1] || u[2] * w[0] != u[0] * w[2] || u[0] * w[1] != u[1] * w[0])
      return true;
  }
  return false;
}

// Squared distance from `p` to the segment ab.
double segmentSquared(const double* p, const double* a, const double* b) {
  double ab[3], ap[3];
  for (int i = 0; i < 3; ++i) ab[i] = b[i] - a[i], ap[i] = p[i] - a[i];
  const double length = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
  double t = length > 0 ? (ab[0] * ap[0] + ab[1] * ap[1] + ab[2] * ap[2]) / length : 0;
  t = std::clamp(t, 0.0, 1.0);
  double sum = 0;
  for (int i = 0; i < 3; ++i) sum += (ap[i] - t * ab[i]) * (ap[i] - t * ab[i]);
  return sum;
}

// Squared distance from `p` to the triangle abc: the closest point found by the region of the
// triangle's plane that p projects into (a corner, an edge or the inside).
double triangleSquared(const double* p, const double* a, const double* b, const double* c) {
  auto dot = [](const double* u, const double* v) {
    return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
  };
  double ab[3], ac[3], ap[3], bp[3], cp[3];
  for (int i = 0; i < 3; ++i)
    ab[i] = b[i] - a[i], ac[i] = c[i] - a[i], ap[i] = p[i] - a[i], bp[i] = p[i] - b[i],
    cp[i] = p[i] - c[i];
  const double d1 = dot(ab, ap), d2 = dot(ac, ap), d3 = dot(ab, bp), d4 = dot(ac, bp),
               d5 = dot(ab, cp), d6 = dot(ac, cp);
  const double va = d3 * d6 - d5 * d4, vb = d5 * d2 - d1 * d6, vc = d1 * d4 - d3 * d2;
  const bool inside = va > 0 && vb > 0 && vc > 0;
  if (!inside)  // the closest point is on an edge or a corner; a flat triangle lands here too
    return std::min({segmentSquared(p, a, b), segmentSquared(p, b, c), segmentSquared(p, c, a)});
  const double v = vb / (va + vb + vc), w = vc / (va + vb + vc);
  double sum = 0;
  for (int i = 0; i < 3; ++i) {
    const double d = ap[i] - v * ab[i] - w * ac[i];
    sum += d * d;
  }
  return sum;
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

}  // namespace

namespace {

// The order the device draws fastest (vertex cache, then vertex fetch, which also leaves out
// unused vertices), or the model's own with the unused left out; then the winding, if asked.
void arrange(Shaped& out, const ShapeOptions& options) {
  if (options.keepOrder) {
    dropUnused(out.positions, out.colours, out.indices);
  } else {
    const std::size_t vertexCount = out.positions.size() / 3;
    meshopt_optimizeVertexCache(out.indices.data(), out.indices.data(), out.indices.size(),
                                vertexCount);
    // The order as a remap, so that the colours take it too; unused vertices are left out.
    std::vector<std::uint32_t> order(vertexCount);
    const std::size_t kept = meshopt_optimizeVertexFetchRemap(order.data(), out.indices.data(),
                                                              out.indices.size(), vertexCount);
    meshopt_remapIndexBuffer(out.indices.data(), out.indices.data(), out.indices.size(),
                             order.data());
    std::vector<float> ordered(3 * kept);
    meshopt_remapVertexBuffer(ordered.data(), out.positions.data(), vertexCount, vertexSize,
                              order.data());
    out.positions.swap(ordered);
    if (!out.colours.empty()) {
      std::vector<std::uint32_t> colours(kept);
      meshopt_remapVertexBuffer(colours.data(), out.colours.data(), vertexCount, colourSize,
                                order.data());
      out.colours.swap(colours);
    }
  }
  if (options.flipWinding)
    for (std::size_t t = 0; t < out.indices.size(); t += 3)
      std::swap(out.indices[t + 1], out.indices[t + 2]);
}

// The mesh in parts of at most `limit` vertices: its triangles in meshoptimizer's spatial order,
// taken in turn until the next would bring a part past the limit, so that each part is a compact
// piece and every triangle is in exactly one. A vertex on the seam between two parts is in both.
std::vector<Shaped> splitParts(const Shaped& mesh, std::uint32_t limit) {
  const std::size_t vertexCount = mesh.positions.size() / 3;
  std::vector<std::uint32_t> sorted(mesh.indices.size());
  meshopt_spatialSortTriangles(sorted.data(), mesh.indices.data(), mesh.indices.size(),
                               mesh.positions.data(), vertexCount, vertexSize);
  constexpr std::uint32_t none = ~0u;
  std::vector<std::uint32_t> local(vertexCount, none), placed;
  std::vector<Shaped> parts;
  for (std::size_t t = 0; t < sorted.size(); t += 3) {
    std::size_t fresh = 0;
    for (std::size_t k = 0; k < 3; ++k) fresh += local[sorted[t + k]] == none;
    if (parts.empty() || parts.back().positions.size() / 3 + fresh > limit) {
      for (std::uint32_t v : placed) local[v] = none;
      placed.clear();
      parts.emplace_back();
    }
    Shaped& part = parts.back();
    for (std::size_t k = 0; k < 3; ++k) {
      const std::uint32_t v = sorted[t + k];
      if (local[v] == none) {
        local[v] = std::uint32_t(part.positions.size() / 3);
        placed.push_back(v);
        part.positions.insert(part.positions.end(), &mesh.positions[3 * std::size_t(v)],
                              &mesh.positions[3 * std::size_t(v)] + 3);
        if (!mesh.colours.empty()) part.colours.push_back(mesh.colours[v]);
      }
      part.indices.push_back(local[v]);
    }
  }
  return parts;
}

double since(std::chrono::steady_clock::time_point& start) {
  auto now = std::chrono::steady_clock::now();
  double seconds = std::chrono::duration<double>(now - start).count();
  start = now;
  return seconds;
}

}  // namespace

std::size_t usedVertices(const std::vector<std::uint32_t>& indices, std::size_t vertexCount) {
  std::vector<bool> used(vertexCount);
  std::size_t count = 0;
  for (std::uint32_t index : indices)
    if (!used[index]) used[index] = true, ++count;
  return count;
}

bool shape(Model& model, const ShapeOptions& options, Shaped& out, std::string& error,
           const std::function<void(const char*)>& stepStarted) {
  const auto started = [&](const char* step) {
    if (stepStarted) stepStarted(step);
  };
  auto clock = std::chrono::steady_clock::now();
  out.verticesRead = model.vertexCount();
  weld(model, out);
  out.weldSeconds = since(clock);
  const std::uint32_t limit = options.maxVertices.value_or(maxDeviceVertices);
  if (out.verticesWelded > limit && !options.maxVertices && !options.split) {
    error = std::to_string(out.verticesWelded) + " vertices after welding, more than the " +
            std::to_string(maxDeviceVertices) +
            " that 16-bit indices reach; --max-vertices N simplifies the mesh to N, --split "
            "writes it in parts";
    return false;
  }
  if (std::string option; !transform(out.positions, options, option)) {
    error = option + ": the result does not fit in a float";
    return false;
  }
  // Parts of the whole mesh, where asked, rather than a mesh simplified to fit.
  const bool split = options.split && out.verticesWelded > limit;
  if (out.verticesWelded > limit && !split) started("simplifying");
  if (out.verticesWelded > limit && !split && !simplify(out, limit, error)) return false;
  out.simplifySeconds = since(clock);
  started("ordering");
  if (split) {
    out.parts = splitParts(out, limit);
    for (Shaped& part : out.parts) arrange(part, options);
  } else {
    arrange(out, options);
  }
  out.orderSeconds = since(clock);
  if (!hasArea(out.positions, out.indices)) {
    error = "no triangle with an area: every one has its corners on a line";
    return false;
  }
  return true;
}

double largestDistance(const std::vector<float>& points, const std::vector<float>& positions,
                       const std::vector<std::uint32_t>& indices) {
  const std::size_t pointCount = points.size() / 3, triangles = indices.size() / 3;
  if (pointCount == 0) return 0;
  if (triangles == 0) return std::numeric_limits<double>::infinity();
  // The corners in double, and a uniform grid of cells over the points and the triangles, each
  // cell listing the triangles whose boxes overlap it: a point then tests only the triangles
  // near it, cells further out only while they could hold a nearer one.
  std::vector<double> corners(9 * triangles);
  std::vector<float> boxes(6 * triangles);  // low x, y, z, high x, y, z
  double low[3], high[3], sizes = 0;
  std::fill_n(low, 3, std::numeric_limits<double>::infinity());
  std::fill_n(high, 3, -std::numeric_limits<double>::infinity());
  for (std::size_t i = 0; i < points.size(); ++i)
    low[i % 3] = std::min(low[i % 3], double(points[i])),
            high[i % 3] = std::max(high[i % 3], double(points[i]));
  for (std::size_t t = 0; t < triangles; ++t) {
    double boxLow[3], boxHigh[3];
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 3; ++i) {
        const double value = positions[3 * std::size_t(indices[3 * t + k]) + i];
        corners[9 * t + 3 * k + i] = value;
        boxLow[i] = k == 0 ? value : std::min(boxLow[i], value);
        boxHigh[i] = k == 0 ? value : std::max(boxHigh[i], value);
        low[i] = std::min(low[i], value), high[i] = std::max(high[i], value);
      }
    sizes += std::max({boxHigh[0] - boxLow[0], boxHigh[1] - boxLow[1], boxHigh[2] - boxLow[2]});
    for (int i = 0; i < 3; ++i)  // exact: the corners are floats
      boxes[6 * t + i] = float(boxLow[i]), boxes[6 * t + 3 + i] = float(boxHigh[i]);
  }
  // Cells about half as large as a triangle, at most eight per triangle.
  const double extent = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
  double cell = sizes / double(triangles) / 2;
  if (!(cell > extent * 1e-6)) cell = std::max(extent, 1e-30);
  std::size_t dims[3], cellCount;
  for (;;) {
    cellCount = 1;
    for (int i = 0; i < 3; ++i)
      dims[i] = std::size_t(std::min((high[i] - low[i]) / cell, 1e6)) + 1, cellCount *= dims[i];
    if (cellCount <= 8 * triangles + 8) break;
    cell *= 1.25;
  }
  const auto cellOf = [&](double value, int axis) {
    return std::min(std::size_t(std::max((value - low[axis]) / cell, 0.0)), dims[axis] - 1);
  };
  const auto forEachCell = [&](std::size_t t, auto&& visit) {
    std::size_t from[3], to[3];
    for (int i = 0; i < 3; ++i) {
      const double* c = &corners[9 * t + i];
      from[i] = cellOf(std::min({c[0], c[3], c[6]}), i);
      to[i] = cellOf(std::max({c[0], c[3], c[6]}), i);
    }
    for (std::size_t z = from[2]; z <= to[2]; ++z)
      for (std::size_t y = from[1]; y <= to[1]; ++y)
        for (std::size_t x = from[0]; x <= to[0]; ++x) visit((z * dims[1] + y) * dims[0] + x);
  };
  std::vector<std::uint32_t> start(cellCount + 1);
  for (std::size_t t = 0; t < triangles; ++t)
    forEachCell(t, [&](std::size_t c) { ++start[c + 1]; });
  for (std::size_t c = 0; c < cellCount; ++c) start[c + 1] += start[c];
  std::vector<std::uint32_t> listed(start[cellCount]), filled(start.begin(), start.end() - 1);
  for (std::size_t t = 0; t < triangles; ++t)
    forEachCell(t, [&](std::size_t c) { listed[filled[c]++] = std::uint32_t(t); });

  // The largest squared distance of the points from `first` to `last`.
  const auto largestOf = [&](std::size_t first, std::size_t last) {
    std::vector<std::uint32_t> testedBy(triangles, 0);  // the point that last tested each, plus 1
    double largest = 0;
    std::uint32_t hint = 0;  // the triangle nearest the point before: most likely near this one
    for (std::size_t v = first; v < last; ++v) {
      const double p[3] = {points[3 * v], points[3 * v + 1], points[3 * v + 2]};
      // Points come mostly in the model's order, each near the one before: a point within the
      // largest distance so far of the last one's triangle changes nothing, and needs no search.
      double nearest =
          triangleSquared(p, &corners[9 * std::size_t(hint)], &corners[9 * std::size_t(hint) + 3],
                          &corners[9 * std::size_t(hint) + 6]);
      if (nearest <= largest) continue;
      testedBy[hint] = std::uint32_t(v + 1);
      const std::size_t home[3] = {cellOf(p[0], 0), cellOf(p[1], 1), cellOf(p[2], 2)};
      for (std::size_t ring = 0;; ++ring) {
        std::size_t from[3], to[3];
        for (int i = 0; i < 3; ++i)
          from[i] = home[i] >= ring ? home[i] - ring : 0,
          to[i] = std::min(home[i] + ring, dims[i] - 1);
        const auto test = [&](std::size_t c) {
          for (std::uint32_t k = start[c]; k < start[c + 1] && nearest > largest; ++k) {
            const std::uint32_t t = listed[k];
            if (testedBy[t] == v + 1) continue;
            testedBy[t] = std::uint32_t(v + 1);
            // The distance to the triangle's box first: cheap, and enough to pass most by.
            const float* box = &boxes[6 * std::size_t(t)];
            double outside = 0;
            for (int i = 0; i < 3; ++i) {
              const double d = std::max({box[i] - p[i], p[i] - box[3 + i], 0.0});
              outside += d * d;
            }
            if (outside >= nearest) continue;
            const double* c0 = &corners[9 * std::size_t(t)];
            const double distance = triangleSquared(p, c0, c0 + 3, c0 + 6);
            if (distance < nearest) nearest = distance, hint = t;
          }
        };
        // The cells of this ring only: the inner rings' were tested already.
        for (std::size_t z = from[2]; z <= to[2]; ++z)
          for (std::size_t y = from[1]; y <= to[1]; ++y) {
            const std::size_t row = (z * dims[1] + y) * dims[0];
            if (ring == 0 || z + ring == home[2] || z == home[2] + ring || y + ring == home[1] ||
                y == home[1] + ring) {
              for (std::size_t x = from[0]; x <= to[0]; ++x) test(row + x);
              continue;
            }
            if (home[0] >= ring) test(row + home[0] - ring);
            if (home[0] + ring < dims[0]) test(row + home[0] + ring);
          }
        // A triangle not yet tested lies wholly outside the cells tested, so no nearer than
        // their box's nearest side with cells beyond it; and a point nearer than the largest so
        // far changes nothing.
        double beyond = std::numeric_limits<double>::infinity();
        for (int i = 0; i < 3; ++i) {
          if (from[i] > 0) beyond = std::min(beyond, p[i] - (low[i] + double(from[i]) * cell));
          if (to[i] + 1 < dims[i])
            beyond = std::min(beyond, low[i] + double(to[i] + 1) * cell - p[i]);
        }
        beyond = std::max(beyond, 0.0);
        if (nearest <= largest || beyond == std::numeric_limits<double>::infinity() ||
            nearest <= beyond * beyond)
          break;
      }
      largest = std::max(largest, nearest);
    }
    return largest;
  };
  // Half the points on a second thread: every point is a search of its own.
  double other = 0;
  std::thread half([&] { other = largestOf(pointCount / 2, pointCount); });
  const double largest = std::max(largestOf(0, pointCount / 2), (half.join(), other));
  return std::sqrt(largest);
}

}  // namespace importer
