#include "threedb/format.h"

#include <cstring>
#include <limits>

static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4,
              "coordinates are stored as IEEE 754 binary32");

namespace threedb {
namespace {

// Bytes are composed from values, never copied from memory, so the order is little-endian
// whatever the host's.
void putLittle32(unsigned char* out, std::uint32_t value) noexcept {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
  out[2] = static_cast<unsigned char>(value >> 16);
  out[3] = static_cast<unsigned char>(value >> 24);
}

void putLittle16(unsigned char* out, std::uint16_t value) noexcept {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
}

}  // namespace

std::uint32_t floatBits(float value) noexcept {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

HeaderBytes encodeHeader(std::int32_t vertexCount, std::int32_t faceCount) noexcept {
  HeaderBytes bytes{};
  std::memcpy(bytes.data(), magic.data(), magic.size());
  putLittle32(bytes.data() + 3, static_cast<std::uint32_t>(vertexCount));
  putLittle32(bytes.data() + 7, static_cast<std::uint32_t>(faceCount));
  putLittle32(bytes.data() + 11, static_cast<std::uint32_t>(formatVersion));
  return bytes;
}

VertexBytes encodeVertex(std::uint32_t xBits, std::uint32_t yBits, std::uint32_t zBits) noexcept {
  VertexBytes bytes{};
  putLittle32(bytes.data(), vertexColour);
  putLittle32(bytes.data() + 4, xBits);
  putLittle32(bytes.data() + 8, yBits);
  putLittle32(bytes.data() + 12, zBits);
  return bytes;
}

VertexBytes encodeVertex(float x, float y, float z) noexcept {
  return encodeVertex(floatBits(x), floatBits(y), floatBits(z));
}

FaceBytes encodeFace(std::uint16_t a, std::uint16_t b, std::uint16_t c) noexcept {
  FaceBytes bytes{};
  putLittle16(bytes.data(), a);
  putLittle16(bytes.data() + 2, b);
  putLittle16(bytes.data() + 4, c);
  return bytes;
}

}  // namespace threedb
