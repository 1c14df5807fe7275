#include "threedb/summary.h"

#include <algorithm>
#include <cmath>

namespace threedb {

void Range::add(float value) noexcept {
  if (!std::isfinite(value)) return;
  low = std::min(low, value);
  high = std::max(high, value);
}

void addPositions(Box& box, const float* positions, std::size_t count) noexcept {
  for (std::size_t i = 0; i < 3 * count; ++i) box[i % 3].add(positions[i]);
}

void Summary::addVertex(const VertexRecord& vertex) {
  float position[3];
  for (std::size_t axis = 0; axis < 3; ++axis) {
    position[axis] = floatFromBits(vertex.bits()[axis]);
    nonFinite += !std::isfinite(position[axis]);
  }
  addPositions(box, position, 1);
  auto known = colours.find(vertex.colour);
  if (known != colours.end())
    ++known->second;
  else if (colours.size() < colourLimit)
    colours.emplace(vertex.colour, 1);
  else
    ++otherColours;
  notVertexColour += vertex.colour != vertexColour;
  ++vertices;
}

void Summary::addFace(const FaceRecord& face) noexcept {
  for (std::uint16_t index : {face.a, face.b, face.c}) {
    smallestIndex = std::min(smallestIndex, index);
    largestIndex = std::max(largestIndex, index);
    indicesBeyond += index >= vertices;
  }
  ++faces;
}

IndexBase Summary::indexBase() const noexcept {
  if (faces == 0) return IndexBase::none;
  if (indicesBeyond == 0) return IndexBase::zeroBased;
  if (smallestIndex >= 1 && largestIndex == vertices) return IndexBase::oneBased;
  return IndexBase::beyond;
}

DeviceFigures deviceFigures(const Summary& summary) noexcept {
  DeviceFigures figures;
  const std::uint64_t facesPerCall = maxIndicesPerDrawCall / 3;
  figures.vertexBytes = vertexRecordSize * std::uint64_t(summary.vertices);
  figures.indexBytes = faceRecordSize * summary.faces;
  figures.drawCalls = (summary.faces + facesPerCall - 1) / facesPerCall;
  figures.indicesFit = summary.indicesBeyond == 0;
  figures.faceOffset = headerSize + figures.vertexBytes;
  return figures;
}

Problem summarise(FileReader& reader, Summary& summary, RecordVisitor* visitor) {
  summary.header = reader.header();
  VertexRecord vertex;
  while (reader.readVertex(vertex)) {
    summary.addVertex(vertex);
    if (visitor) visitor->vertex(vertex);
  }
  FaceRecord face;
  while (reader.readFace(face)) {
    summary.addFace(face);
    if (visitor) visitor->face(face);
  }
  return reader.problem();
}

}  // namespace threedb
