#include "threedb/reader.h"

#include <cstring>

namespace threedb {
namespace {

std::uint32_t loadLittle32(const unsigned char* in) noexcept {
  return std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 |
         std::uint32_t(in[3]) << 24;
}

std::uint16_t loadLittle16(const unsigned char* in) noexcept {
  return std::uint16_t(in[0] | in[1] << 8);
}

}  // namespace

Header decodeHeader(const HeaderBytes& bytes) noexcept {
  Header header;
  header.vertexCount = std::int32_t(loadLittle32(bytes.data() + 3));
  header.faceCount = std::int32_t(loadLittle32(bytes.data() + 7));
  header.version = std::int32_t(loadLittle32(bytes.data() + 11));
  return header;
}

VertexRecord decodeVertex(const VertexBytes& bytes) noexcept {
  VertexRecord vertex;
  vertex.colour = loadLittle32(bytes.data());
  vertex.xBits = loadLittle32(bytes.data() + 4);
  vertex.yBits = loadLittle32(bytes.data() + 8);
  vertex.zBits = loadLittle32(bytes.data() + 12);
  return vertex;
}

FaceRecord decodeFace(const FaceBytes& bytes) noexcept {
  FaceRecord face;
  face.a = loadLittle16(bytes.data());
  face.b = loadLittle16(bytes.data() + 2);
  face.c = loadLittle16(bytes.data() + 4);
  return face;
}

float floatFromBits(std::uint32_t bits) noexcept {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

FileReader::FileReader(std::streambuf& input) : input_(input) {}

std::size_t FileReader::read(unsigned char* data, std::size_t size) {
  std::streamsize got = input_.sgetn(reinterpret_cast<char*>(data), std::streamsize(size));
  std::size_t count = got > 0 ? std::size_t(got) : 0;
  bytesRead_ += count;
  return count;
}

Problem FileReader::readHeader(Header& header) {
  HeaderBytes bytes{};
  if (read(bytes.data(), bytes.size()) < bytes.size()) return problem_ = Problem::truncatedHeader;
  header_ = header = decodeHeader(bytes);
  if (std::memcmp(bytes.data(), magic.data(), magic.size()) != 0)
    return problem_ = Problem::badMagic;
  if (header.version != formatVersion) return problem_ = Problem::unknownVersion;
  if (header.vertexCount < 0) return problem_ = Problem::negativeVertexCount;
  return Problem::none;
}

bool FileReader::readVertex(VertexRecord& vertex) {
  if (problem_ != Problem::none || verticesRead_ >= std::uint32_t(header_.vertexCount))
    return false;
  VertexBytes bytes{};
  if (read(bytes.data(), bytes.size()) < bytes.size()) {
    problem_ = Problem::truncatedVertices;
    return false;
  }
  vertex = decodeVertex(bytes);
  ++verticesRead_;
  return true;
}

bool FileReader::readFace(FaceRecord& face) {
  // Faces follow the last vertex record; before it, the bytes are not faces.
  if (problem_ != Problem::none || verticesRead_ < std::uint32_t(header_.vertexCount)) return false;
  FaceBytes bytes{};
  std::size_t got = read(bytes.data(), bytes.size());
  if (got < bytes.size()) {
    trailing_ = got;
    if (got > 0) problem_ = Problem::trailingBytes;
    return false;
  }
  face = decodeFace(bytes);
  ++facesRead_;
  return true;
}

}  // namespace threedb
