// Helpers the importer's tests share: models read back from 3DB bytes as triangles and coloured
// vertices, the bytes and encodings the model files are written in, and a fixture that imports.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support.h"
#include "threedb/format.h"

namespace importer_support {

using Point = std::array<float, 3>;
using Triangle = std::array<Point, 3>;

// A triangle turned so that its smallest corner comes first; the winding stays.
Triangle canonical(Triangle t);
std::vector<Triangle> canonical(std::vector<Triangle> triangles);

// The triangles of a 3DB file, as positions.
std::vector<Triangle> trianglesOf(const std::string& bytes);

double area(const Triangle& t);

// Whether every edge of `faces`, loops of corners, is in exactly two of them, once each way: a
// closed surface.
template <class Face>
bool isClosed(const std::vector<Face>& faces) {
  std::map<std::pair<typename Face::value_type, typename Face::value_type>, int> edges;
  for (const Face& f : faces)
    for (std::size_t k = 0; k < f.size(); ++k) ++edges[{f[k], f[(k + 1) % f.size()]}];
  for (const auto& [edge, uses] : edges)
    if (uses != 1 || edges.count({edge.second, edge.first}) == 0) return false;
  return true;
}

// The vertices of a 3DB file with their colours, sorted.
using Coloured = std::pair<Point, std::uint32_t>;
std::vector<Coloured> colouredVertices(const std::string& bytes);

// A colour word from its hex digits as a user writes them: RRGGBBAA.
constexpr std::uint32_t rgba(std::uint32_t hex) {
  return threedb::packColour(hex >> 24, hex >> 16 & 255, hex >> 8 & 255, hex & 255);
}
constexpr std::uint32_t green = rgba(0x00FF00FF), red = rgba(0xFF0000FF), blue = rgba(0x0000FFFF);

std::string littleEndian(std::initializer_list<float> floats);
std::string base64(const std::string& bytes);

class Import : public ::testing::Test {
 protected:
  // A run of vorlatic-import with `args` after the program's name.
  testing_support::RunResult run(std::vector<std::string> args);

  // Imports `model` (written from `content`) to .3db and to .msh with `options`: both must
  // succeed, the text must convert to the same bytes, and a second run must give them again.
  std::vector<Triangle> imported(const std::string& model, const std::string& content,
                                 std::vector<std::string> options = {});

  testing_support::ScratchDir dir;
};

}  // namespace importer_support
