#include "model.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace importer {

std::string checkModel(const Model& model) {
  if (model.positions.size() % 3 != 0) return "its positions do not come in threes";
  if (model.indices.size() % 3 != 0) return "its indices do not come in threes";
  for (float value : model.positions)
    if (!std::isfinite(value)) return "it has a coordinate that is not finite";
  const std::size_t vertices = model.vertexCount();
  // Indices are 32 bits: a vertex past them could be named by no triangle, and welding numbers
  // vertices in 32 bits too.
  if (vertices >= std::numeric_limits<std::uint32_t>::max())
    return "it has more vertices than 32-bit indices reach";
  if (!model.colours.empty() && model.colours.size() != vertices)
    return "its colours are not one a vertex";
  for (std::uint32_t index : model.indices)
    if (index >= vertices) return "it has an index beyond its vertices";
  return {};
}

namespace {

// Fixed-width numbers in the host's order: both ends of the pipe are one program on one host.
template <class Number>
void put(std::string& bytes, Number value) {
  bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <class Number>
bool take(const std::string& bytes, std::size_t& at, Number& value) {
  if (bytes.size() - at < sizeof value) return false;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  at += sizeof value;
  return true;
}

bool takeText(const std::string& bytes, std::size_t& at, std::string& text) {
  std::uint32_t size = 0;
  if (!take(bytes, at, size) || bytes.size() - at < size) return false;
  text.assign(bytes, at, size);
  at += size;
  return true;
}

}  // namespace

std::string encodeMeshList(const std::vector<MeshEntry>& list) {
  std::string bytes;
  for (const MeshEntry& entry : list) {
    put(bytes, entry.triangles);
    put(bytes, entry.vertices);
    put(bytes, std::uint8_t(entry.colours));
    for (const std::string* text : {&entry.name, &entry.node}) {
      put(bytes, std::uint32_t(text->size()));
      bytes += *text;
    }
  }
  return bytes;
}

bool decodeMeshList(const std::string& bytes, std::vector<MeshEntry>& list) {
  list.clear();
  for (std::size_t at = 0; at < bytes.size();) {
    MeshEntry entry;
    std::uint8_t colours = 0;
    if (!take(bytes, at, entry.triangles) || !take(bytes, at, entry.vertices) ||
        !take(bytes, at, colours) || colours > 1 || !takeText(bytes, at, entry.name) ||
        !takeText(bytes, at, entry.node))
      return false;
    entry.colours = colours == 1;
    list.push_back(std::move(entry));
  }
  return true;
}

}  // namespace importer
