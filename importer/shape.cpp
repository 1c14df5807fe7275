#include "shape.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

namespace importer {
namespace {

constexpr std::size_t vertexSize = 3 * sizeof(float);
constexpr std::size_t colourSize = sizeof(std::uint32_t);

// Simplification aims this far below the vertex limit, since the vertices a triangle count
// leaves are only known afterwards.
constexpr double simplifyMargin = 0.97;

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

std::size_t usedVertices(const std::vector<std::uint32_t>& indices, std::size_t vertexCount) {
  std::vector<bool> used(vertexCount);
  std::size_t count = 0;
  for (std::uint32_t index : indices)
    if (!used[index]) used[index] = true, ++count;
  return count;
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
    unique = meshopt_generateVertexRemap(remap.data(), nullptr, count, keys.data(), count,
                                         vertexSize + colourSize);
  } else {
    unique = meshopt_generateVertexRemap(remap.data(), nullptr, count, model.positions.data(),
                                         count, vertexSize);
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

// Simplifies the mesh until it uses at most `limit` vertices: a pass aimed at the triangle count
// that leaves about that many, then, if the vertices left are still too many, a second pass on
// its result aimed by the ratio it showed; the topology-free simplifier only if that too falls
// short.
bool simplify(Shaped& out, std::uint32_t limit, std::string& error) {
  const std::size_t vertexCount = out.positions.size() / 3;
  const float scale = meshopt_simplifyScale(out.positions.data(), vertexCount, vertexSize);
  const float anyError = std::numeric_limits<float>::max();
  out.trianglesBefore = out.indices.size() / 3;
  std::vector<std::uint32_t> result(out.indices.size());
  std::size_t used = vertexCount;
  for (int pass = 0; pass < 3 && used > limit; ++pass) {
    const double ratio = double(limit) / double(used) * simplifyMargin;
    const std::size_t target =
        std::max<std::size_t>(3, std::size_t(out.indices.size() / 3 * ratio) * 3);
    float reached = 0;
    std::size_t count =
        pass < 2 ? meshopt_simplify(result.data(), out.indices.data(), out.indices.size(),
                                    out.positions.data(), vertexCount, vertexSize, target, anyError,
                                    0, &reached)
                 : meshopt_simplifySloppy(result.data(), out.indices.data(), out.indices.size(),
                                          out.positions.data(), vertexCount, vertexSize, target,
                                          anyError, &reached);
    out.indices.assign(result.begin(), result.begin() + std::ptrdiff_t(count));
    out.error = std::max(out.error, reached * scale);
    out.passes = pass + 1;
    used = usedVertices(out.indices, vertexCount);
  }
  if (used > limit) {
    error = "simplified as far as it goes, the mesh still has " + std::to_string(used) +
            " vertices, more than --max-vertices " + std::to_string(limit);
    return false;
  }
  return true;
}

}  // namespace

namespace {

double since(std::chrono::steady_clock::time_point& start) {
  auto now = std::chrono::steady_clock::now();
  double seconds = std::chrono::duration<double>(now - start).count();
  start = now;
  return seconds;
}

}  // namespace

bool shape(Model& model, const ShapeOptions& options, Shaped& out, std::string& error) {
  auto clock = std::chrono::steady_clock::now();
  out.verticesRead = model.vertexCount();
  weld(model, out);
  out.weldSeconds = since(clock);
  const std::uint32_t limit = options.maxVertices.value_or(maxDeviceVertices);
  if (out.verticesWelded > limit && !options.maxVertices) {
    error = std::to_string(out.verticesWelded) + " vertices after welding, more than the " +
            std::to_string(maxDeviceVertices) +
            " that 16-bit indices reach; --max-vertices N simplifies the mesh to N";
    return false;
  }
  if (std::string option; !transform(out.positions, options, option)) {
    error = option + ": the result does not fit in a float";
    return false;
  }
  if (out.verticesWelded > limit && !simplify(out, limit, error)) return false;
  out.simplifySeconds = since(clock);
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
  out.orderSeconds = since(clock);
  if (!hasArea(out.positions, out.indices)) {
    error = "no triangle with an area: every one has its corners on a line";
    return false;
  }
  return true;
}

}  // namespace importer
