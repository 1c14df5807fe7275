// The 3DB mesh format: a 15-byte header, 16-byte vertex records, 6-byte face records, every
// multi-byte field little-endian and nothing aligned or padded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace threedb {

inline constexpr std::array<unsigned char, 3> magic{'3', 'D', 'B'};
inline constexpr std::int32_t formatVersion = 1;

inline constexpr std::size_t headerSize = 15;
inline constexpr std::size_t vertexRecordSize = 16;
inline constexpr std::size_t faceRecordSize = 6;

// Packs a colour in the PSP graphics unit's 8888 layout: alpha, blue, green, red from the top.
constexpr std::uint32_t packColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                   std::uint8_t alpha) noexcept {
  return (std::uint32_t(alpha) << 24) | (std::uint32_t(blue) << 16) | (std::uint32_t(green) << 8) |
         std::uint32_t(red);
}

// Every vertex is opaque green: the input carries no colour.
inline constexpr std::uint32_t vertexColour = packColour(0, 255, 0, 255);

// Little-endian stores, composed from the value so the order is right whatever the host's.
inline void storeLittle32(unsigned char* out, std::uint32_t value) noexcept {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
  out[2] = static_cast<unsigned char>(value >> 16);
  out[3] = static_cast<unsigned char>(value >> 24);
}
inline void storeLittle16(unsigned char* out, std::uint16_t value) noexcept {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
}

using HeaderBytes = std::array<unsigned char, headerSize>;
using VertexBytes = std::array<unsigned char, vertexRecordSize>;
using FaceBytes = std::array<unsigned char, faceRecordSize>;

// The header for these counts and version 1.
HeaderBytes encodeHeader(std::int32_t vertexCount, std::int32_t faceCount) noexcept;

// A vertex record: the colour word, then x, y and z. The coordinates are given as their binary32
// bits so that every NaN payload and signed zero is stored exactly.
inline VertexBytes encodeVertex(std::uint32_t xBits, std::uint32_t yBits, std::uint32_t zBits,
                                std::uint32_t colour = vertexColour) noexcept {
  VertexBytes bytes;
  storeLittle32(bytes.data(), colour);
  storeLittle32(bytes.data() + 4, xBits);
  storeLittle32(bytes.data() + 8, yBits);
  storeLittle32(bytes.data() + 12, zBits);
  return bytes;
}
VertexBytes encodeVertex(float x, float y, float z) noexcept;

// A face record: the three indices in order.
inline FaceBytes encodeFace(std::uint16_t a, std::uint16_t b, std::uint16_t c) noexcept {
  FaceBytes bytes;
  storeLittle16(bytes.data(), a);
  storeLittle16(bytes.data() + 2, b);
  storeLittle16(bytes.data() + 4, c);
  return bytes;
}

// The size of a file with this many vertex and face records.
constexpr std::uint64_t fileSize(std::uint32_t vertexCount, std::uint64_t faceRecords) noexcept {
  return headerSize + vertexRecordSize * std::uint64_t(vertexCount) + faceRecordSize * faceRecords;
}

// The binary32 bits of a float.
inline std::uint32_t floatBits(float value) noexcept {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace threedb
