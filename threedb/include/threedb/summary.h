// What a 3DB file holds, summed up record by record: counts, bounding box, colours and indices.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>

#include "threedb/reader.h"

namespace threedb {

// The finite values seen along one axis.
struct Range {
  float low = std::numeric_limits<float>::infinity();
  float high = -std::numeric_limits<float>::infinity();

  void add(float value) noexcept;
  bool empty() const noexcept { return low > high; }
  float extent() const noexcept { return empty() ? 0.0f : high - low; }
};

// The finite values of positions along x, y and z.
using Box = std::array<Range, 3>;

// Each axis of `box` as {low, high}; an axis without a value has its low above its high.
inline std::array<std::array<float, 2>, 3> bounds(const Box& box) noexcept {
  return {{{box[0].low, box[0].high}, {box[1].low, box[1].high}, {box[2].low, box[2].high}}};
}

// Widens `box` by the finite coordinates of `count` positions, x, y, z each.
void addPositions(Box& box, const float* positions, std::size_t count) noexcept;

// How the face indices relate to the vertices.
enum class IndexBase {
  none,       // no face record
  zeroBased,  // every index below the vertex count
  oneBased,   // 1 to the vertex count, the vertex count among them
  beyond,     // some index reaches past the vertices either way
};

// Everything a reader of the file learns in one pass. Add the vertices before the faces: an
// index is checked against the vertices added so far.
struct Summary {
  // Colours told apart at most: a hostile file must not grow the table.
  static constexpr std::size_t colourLimit = 16;

  Header header;
  std::uint32_t vertices = 0;  // vertex records
  std::uint64_t faces = 0;     // face records
  Box box;
  std::uint64_t nonFinite = 0;                     // coordinates that are infinite or NaN
  std::map<std::uint32_t, std::uint64_t> colours;  // colour -> vertices, up to colourLimit
  std::uint64_t otherColours = 0;                  // vertices whose colour did not fit the table
  std::uint64_t notVertexColour = 0;  // vertices of another colour than the converter writes
  std::uint16_t smallestIndex = 0xFFFF, largestIndex = 0;
  std::uint64_t indicesBeyond = 0;  // indices at or past the vertex count

  void addVertex(const VertexRecord& vertex);
  void addFace(const FaceRecord& face) noexcept;
  IndexBase indexBase() const noexcept;
};

// The device's facts: indices are 16 bits, and one draw call takes at most this many of them.
inline constexpr std::uint32_t maxIndicesPerDrawCall = 65535;

// What a file costs on the device, and where its sections lie.
struct DeviceFigures {
  std::uint64_t vertexBytes = 0;  // the vertex section
  std::uint64_t indexBytes = 0;   // the face section
  std::uint64_t drawCalls = 0;    // at maxIndicesPerDrawCall indices each
  bool indicesFit = false;        // every index below the vertex count (0-based and in range)
  std::uint64_t vertexOffset = headerSize;
  std::uint64_t faceOffset = headerSize;
};

// The figures of a summed-up file. A file loaded one byte past a 16-byte boundary has both its
// sections on 16-byte boundaries, since the header is 15 bytes and a vertex record 16.
DeviceFigures deviceFigures(const Summary& summary) noexcept;

// Receives each record as summarise() reads it, for a program that also writes the mesh out.
class RecordVisitor {
 public:
  virtual ~RecordVisitor() = default;
  virtual void vertex(const VertexRecord& vertex) = 0;
  virtual void face(const FaceRecord& face) = 0;
};

// Reads the records that follow a sound header (readHeader() returned none) into `summary`,
// handing each to `visitor` if given, and returns the reader's problem at the end.
Problem summarise(FileReader& reader, Summary& summary, RecordVisitor* visitor = nullptr);

}  // namespace threedb
