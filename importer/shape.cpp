#include "shape.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "simplify.h"
#include "threedb/summary.h"
#include "weld.h"

namespace importer {
namespace {

constexpr std::size_t vertexSize = 3 * sizeof(float);
constexpr std::size_t colourSize = sizeof(std::uint32_t);

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

// A Z-up model made Y-up: a quarter turn about x, y taking z's place and z taking -y's.
void turnUp(std::vector<float>& positions) {
  for (std::size_t i = 0; i < positions.size(); i += 3) {
    const float y = positions[i + 1];
    positions[i + 1] = positions[i + 2];
    positions[i + 2] = -y;
  }
}

// Centres, fits and scales the positions as asked, all within one box; false with the option
// whose result does not fit in a float. The centre and the extents are taken in double: in
// float, the sum or difference of two coordinates near the largest float is infinite.
bool transform(std::vector<float>& positions, const ShapeOptions& options, std::string& option) {
  if (options.zUp) turnUp(positions);
  if (positions.empty()) return true;
  threedb::Box box;  // every coordinate is finite: the model was checked
  threedb::addPositions(box, positions.data(), positions.size() / 3);
  float shift[3] = {0, 0, 0};
  double largest = 0, extent = 0;  // the largest magnitude after centring; the largest extent
  for (int axis = 0; axis < 3; ++axis) {
    const double low = box[axis].low, high = box[axis].high;
    if (options.center) shift[axis] = float(-(low + high) / 2);
    largest = std::max({largest, std::fabs(low + shift[axis]), std::fabs(high + shift[axis])});
    extent = std::max(extent, high - low);
  }
  const double factor = options.scale.value_or(1.0f);
  const double fitFactor = options.fit && extent > 0 ? *options.fit / extent : 1;
  // In double, then checked: a factor beyond float's range may still bring tiny coordinates
  // within it, and a result beyond it must not become infinite.
  const double product = factor * fitFactor, most = std::numeric_limits<float>::max();
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const double value = (double(positions[i]) + shift[i % 3]) * product;
    if (std::fabs(value) > most) {
      option = options.fit && largest * fitFactor > most ? "--fit"
               : options.scale                           ? "--scale"
               : options.fit                             ? "--fit"
                                                         : "--center";
      return false;
    }
    positions[i] = float(value);
  }
  return true;
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

}  // namespace importer
