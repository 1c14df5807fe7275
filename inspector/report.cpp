#include "report.h"

#include "common/figures.h"

#include <cstdio>

namespace inspector {
namespace {

std::string hex32(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::string indicesText(const threedb::Summary& summary) {
  const std::string range =
      std::to_string(summary.smallestIndex) + " .. " + std::to_string(summary.largestIndex) + ", ";
  const std::string vertices = std::to_string(summary.vertices);
  switch (summary.indexBase()) {
    case threedb::IndexBase::none:
      return "none";
    case threedb::IndexBase::zeroBased:
      return range + "look 0-based; all fit the " + vertices + " vertices";
    case threedb::IndexBase::oneBased:
      return range + "look 1-based; all fit the " + vertices + " vertices counted from 1";
    case threedb::IndexBase::beyond:
      return range + std::to_string(summary.indicesBeyond) + " of them beyond the " + vertices +
             " vertices";
  }
  return {};
}

}  // namespace

std::string boxText(const threedb::Box& box) { return common::boxText(threedb::bounds(box)); }

void printSummary(std::ostream& out, const std::string& path, std::uint64_t bytes,
                  const threedb::Summary& summary) {
  const threedb::Header& header = summary.header;
  const bool differ = summary.faces != std::uint64_t(std::int64_t(header.faceCount));
  out << "file: " << path << " (" << bytes << " bytes)\n"
      << "magic: 3DB, version " << header.version << '\n'
      << "vertexCount: " << header.vertexCount << " (" << summary.vertices << " vertex records)\n"
      << "faceCount: " << header.faceCount << " declared, " << summary.faces
      << " face records present" << (differ ? " (they differ)" : "") << '\n';
  out << "bounding box: " << boxText(summary.box)
      << (summary.nonFinite ? "; " + std::to_string(summary.nonFinite) + " coordinates not finite"
                            : "")
      << '\n';
  out << "colours:";
  if (summary.colours.empty()) out << " none";
  for (const auto& [colour, count] : summary.colours) out << ' ' << hex32(colour) << " x " << count;
  if (summary.otherColours) out << " and " << summary.otherColours << " vertices of other colours";
  out << '\n' << "indices: " << indicesText(summary) << '\n';
  const threedb::DeviceFigures device = threedb::deviceFigures(summary);
  out << "device: " << device.vertexBytes << " bytes of vertices, " << device.indexBytes
      << " bytes of indices, " << device.drawCalls
      << (device.drawCalls == 1 ? " draw call" : " draw calls") << " of at most "
      << threedb::maxIndicesPerDrawCall
      << " indices; every index fits the vertices: " << (device.indicesFit ? "yes" : "no") << '\n'
      << "sections: vertices at offset " << device.vertexOffset << ", faces at offset "
      << device.faceOffset << "; loaded one byte past a 16-byte boundary, both start on one\n";
}

std::string problemText(const threedb::FileReader& reader) {
  const threedb::Header& header = reader.header();
  switch (reader.problem()) {
    case threedb::Problem::none:
      return {};
    case threedb::Problem::truncatedHeader:
      return "not a 3DB file: " + std::to_string(reader.bytesRead()) + " bytes, fewer than the " +
             std::to_string(threedb::headerSize) + " of a header";
    case threedb::Problem::badMagic:
      return "not a 3DB file: it does not begin with \"3DB\"";
    case threedb::Problem::unknownVersion:
      return "unknown version " + std::to_string(header.version) + " (expected " +
             std::to_string(threedb::formatVersion) + ")";
    case threedb::Problem::negativeVertexCount:
      return "negative vertexCount " + std::to_string(header.vertexCount);
    case threedb::Problem::truncatedVertices:
      return "truncated: the file ends after " + std::to_string(reader.verticesRead()) + " of " +
             std::to_string(header.vertexCount) + " vertex records";
    case threedb::Problem::trailingBytes:
      return std::to_string(reader.trailingBytes()) +
             " trailing bytes after the last face record: the size " +
             std::to_string(reader.bytesRead()) + " does not match " +
             std::to_string(threedb::headerSize) + " + " +
             std::to_string(threedb::vertexRecordSize) + " x vertexCount + " +
             std::to_string(threedb::faceRecordSize) + " x face records";
  }
  return {};
}

}  // namespace inspector
