// A model as read: triangles only, every mesh of the scene joined, node transforms baked in. It
// is all the importer keeps of a scene, and all that crosses from the isolated reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace importer {

// A mesh of the scene where a node places it, as --list shows it.
struct MeshEntry {
  std::string name;  // the mesh's
  std::string node;  // the names of the nodes from the root to the one that places it, by '/'
  std::uint64_t triangles = 0;  // a face of n corners counted as n - 2
  std::uint64_t vertices = 0;
  bool colours = false;  // its vertices' own, or its material's
};

// What reading found, as figures: they cross from the reader as they lie in memory.
struct ReadFigures {
  std::uint64_t meshes = 0;       // meshes joined, each instance of a mesh counted
  std::uint64_t polygons = 0;     // faces of more than three corners, triangulated
  std::uint64_t points = 0;       // faces of one corner, dropped
  std::uint64_t lines = 0;        // faces of two corners, dropped
  std::uint64_t corners = 0;      // corners of the faces triangulated, triangles included
  double readSeconds = 0;         // reading the file, triangulation included
  double triangulateSeconds = 0;  // of which triangulating polygons
};

struct Model : ReadFigures {
  std::string format;                  // the reader's name for the file format
  std::vector<float> positions;        // x, y, z of each vertex
  std::vector<std::uint32_t> indices;  // three per triangle
  // One colour word per vertex (threedb::packColour's layout), or none at all when the model
  // gives no colour, so that every vertex is the converter's fixed green.
  std::vector<std::uint32_t> colours;
  std::vector<MeshEntry> meshList;  // every mesh placed by a node, joined or not
  // Every file the reader opened, the model's own first: buffers, materials and textures are
  // the model's too, and no output may be written over them.
  std::vector<std::string> filesRead;

  std::size_t vertexCount() const noexcept { return positions.size() / 3; }
  std::size_t triangleCount() const noexcept { return indices.size() / 3; }
};

// What is wrong with a model that came from elsewhere, or an empty string: the positions come in
// threes and are finite, the indices in threes and within the vertices, the colours one a vertex
// or none.
std::string checkModel(const Model& model);

// The most a mesh list takes as bytes, and the longest name or node path it keeps: the reader is
// not trusted with the parent's memory, and a list cut there still names what a person types.
inline constexpr std::size_t maxMeshListBytes = std::size_t{64} << 20;
inline constexpr std::size_t maxMeshListText = 4096;
// The names of the files the reader opened, a NUL after each, take at most this many bytes.
inline constexpr std::size_t maxFilesBytes = std::size_t{1} << 20;

// The list as bytes for the reader's pipe, and back: false when `bytes` is not such a list.
std::string encodeMeshList(const std::vector<MeshEntry>& list);
bool decodeMeshList(const std::string& bytes, std::vector<MeshEntry>& list);

}  // namespace importer
