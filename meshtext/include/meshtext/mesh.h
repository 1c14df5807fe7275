// The records of mesh text: the two counts that open it, then vertices, then faces.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace meshtext {

// The two numbers that open a mesh, as read (possibly negative).
struct Counts {
  std::int32_t vertexCount = 0;
  std::int32_t faceCount = 0;
};

// One vertex: its three tokens as read, and their values.
struct Vertex {
  std::array<std::string_view, 3> text;
  float x = 0, y = 0, z = 0;
};

// One face: its three tokens as read, their values, and the 16 bits each is stored in.
struct Face {
  std::array<std::string_view, 3> text;
  std::array<std::int32_t, 3> value{};
  std::array<std::uint16_t, 3> index{};
};

}  // namespace meshtext
