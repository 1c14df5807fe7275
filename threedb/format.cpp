#include "threedb/format.h"

#include <cstring>
#include <limits>

static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4,
              "coordinates are stored as IEEE 754 binary32");

namespace threedb {

HeaderBytes encodeHeader(std::int32_t vertexCount, std::int32_t faceCount) noexcept {
  HeaderBytes bytes{};
  std::memcpy(bytes.data(), magic.data(), magic.size());
  storeLittle32(bytes.data() + 3, static_cast<std::uint32_t>(vertexCount));
  storeLittle32(bytes.data() + 7, static_cast<std::uint32_t>(faceCount));
  storeLittle32(bytes.data() + 11, static_cast<std::uint32_t>(formatVersion));
  return bytes;
}

VertexBytes encodeVertex(float x, float y, float z) noexcept {
  return encodeVertex(floatBits(x), floatBits(y), floatBits(z));
}

}  // namespace threedb
