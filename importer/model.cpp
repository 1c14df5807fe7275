#include "model.h"

#include <cmath>

namespace importer {

std::string checkModel(const Model& model) {
  if (model.positions.size() % 3 != 0) return "its positions do not come in threes";
  if (model.indices.size() % 3 != 0) return "its indices do not come in threes";
  for (float value : model.positions)
    if (!std::isfinite(value)) return "it has a coordinate that is not finite";
  const std::size_t vertices = model.vertexCount();
  if (!model.colours.empty() && model.colours.size() != vertices)
    return "its colours are not one a vertex";
  for (std::uint32_t index : model.indices)
    if (index >= vertices) return "it has an index beyond its vertices";
  return {};
}

}  // namespace importer
