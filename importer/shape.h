// Fitting a model to the device: one vertex per position and colour, at most 65,536 of them, in the
// order the device draws fastest, transformed as asked.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model.h"

namespace importer {

// The most vertices 16-bit indices reach.
inline constexpr std::uint32_t maxDeviceVertices = 65536;

struct ShapeOptions {
  bool zUp = false;                          // a Z-up model made Y-up
  bool center = false;                       // bounding-box centre to the origin
  std::optional<float> fit;                  // largest extent made this, uniformly
  std::optional<float> scale;                // every coordinate times this
  bool flipWinding = false;                  // every triangle turned round
  bool keepOrder = false;                    // the model's vertex order, not the device's
  std::optional<std::uint32_t> maxVertices;  // simplify until it fits, at most 65,536
  bool split = false;  // over the limit, parts within it rather than a simplified whole
};

// The mesh for the device, and what was done to it.
struct Shaped {
  std::vector<float> positions;        // x, y, z of each vertex
  std::vector<std::uint32_t> indices;  // three per triangle
  std::vector<std::uint32_t> colours;  // one a vertex, or none: every vertex the fixed green
  std::size_t verticesRead = 0, verticesWelded = 0;
  std::uint64_t degenerate = 0;  // triangles dropped because welding made them lines or points
  // Simplification, when it was needed.
  std::size_t trianglesBefore = 0;
  int passes = 0;
  double deviation = 0;  // the largest distance from a welded vertex to the result, in the
                         // output's units (measured: the simplifier's own figure is no bound)
  double weldSeconds = 0, simplifySeconds = 0, orderSeconds = 0;
  // With split, a mesh over the limit as parts within it, each ordered on its own: the whole
  // (positions, indices, colours above) is then the mesh before it was cut.
  std::vector<Shaped> parts;
};

// Welds the model's vertices by position and colour (bit-equal ones become one vertex), drops the
// triangles that become degenerate, transforms (Z-up, then centre, then fit, then scale),
// simplifies to maxVertices if asked (or, with split, cuts it into parts of at most that many),
// orders the vertices for the device's cache and fetch unless keepOrder, and turns the
// triangles round if asked. False with the reason when the mesh
// does not fit 65,536 vertices. `stepStarted`, if any, hears "simplifying" and "ordering" as
// they start.
bool shape(Model& model, const ShapeOptions& options, Shaped& out, std::string& error,
           const std::function<void(const char*)>& stepStarted = {});

// How many of `vertexCount` vertices some triangle of `indices` uses.
std::size_t usedVertices(const std::vector<std::uint32_t>& indices, std::size_t vertexCount);

}  // namespace importer
