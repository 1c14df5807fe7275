#include "scene.h"

#include <assimp/DefaultIOSystem.h>
#include <assimp/importerdesc.h>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "tessellate.h"
#include "threedb/format.h"

namespace importer {
namespace {

// Node trees deeper than this are not a model but an attack on the stack of whoever walks them.
constexpr std::size_t maxDepth = 1000;

// The name of the library's reader that read the file: the one it chose, which for a name
// without an extension (/dev/stdin) it chose by the content; else the one for the extension.
std::string formatOf(const Assimp::Importer& reader, const std::string& path) {
  const int chosen = reader.GetPropertyInteger("importerIndex", -1);
  if (chosen >= 0)
    if (const aiImporterDesc* info = reader.GetImporterInfo(std::size_t(chosen)))
      return info->mName;
  const std::size_t slash = path.find_last_of("/\\"), dot = path.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string extension = hasExtension ? path.substr(dot + 1) : "";
  const std::size_t index = reader.GetImporterIndex(extension.c_str());
  if (index != static_cast<std::size_t>(-1))
    if (const aiImporterDesc* info = reader.GetImporterInfo(index)) return info->mName;
  return extension.empty() ? "format not named by the reader" : extension;
}

// How the colours of a file are read.
struct ColourRules {
  bool linear = false;  // glTF's colours are linear light, the device's 8-bit ones sRGB
  // Materials the library made up rather than read: its last one in a glTF 2 (for primitives
  // without one), every one in a PLY without a material element (PLY names none).
  bool lastMaterialInvented = false;
  bool materialsInvented = false;
};

// A channel from 0 to 1 as 8 bits, rounded; beyond the range clamped, not a number as 0.
std::uint8_t channel(double value) {
  if (!(value > 0)) return 0;
  if (value >= 1) return 255;
  return std::uint8_t(std::lround(value * 255));
}

// sRGB's transfer function.
double toSrgb(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// The colour word of `colour`; alpha is not light, so it is never converted.
std::uint32_t colourWord(const aiColor4D& colour, bool linear) {
  const auto light = [linear](float value) {
    return channel(linear && value > 0 ? toSrgb(std::min(double(value), 1.0)) : value);
  };
  return threedb::packColour(light(colour.r), light(colour.g), light(colour.b), channel(colour.a));
}

// The base colour of the mesh's material, when the model itself defines that material: the
// library names the one it makes up for a file without materials AI_DEFAULT_MATERIAL_NAME.
std::optional<std::uint32_t> materialColour(const aiScene& scene, const aiMesh& mesh,
                                            const ColourRules& rules) {
  const unsigned index = mesh.mMaterialIndex;
  if (rules.materialsInvented || index >= scene.mNumMaterials || !scene.mMaterials[index] ||
      (rules.lastMaterialInvented && index + 1 == scene.mNumMaterials))
    return std::nullopt;
  const aiMaterial& material = *scene.mMaterials[index];
  aiString name;
  if (material.Get(AI_MATKEY_NAME, name) == AI_SUCCESS &&
      std::string(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME)
    return std::nullopt;
  aiColor4D colour(1, 1, 1, 1);
  if (material.Get(AI_MATKEY_BASE_COLOR, colour) != AI_SUCCESS &&
      material.Get(AI_MATKEY_COLOR_DIFFUSE, colour) != AI_SUCCESS)
    return std::nullopt;
  return colourWord(colour, rules.linear);
}

// Room for `more` elements at the end of `values`, made once for a whole mesh rather than as each
// is added: a large model's arrays would otherwise be copied over and over as they grow, and at
// least doubled each time, so that many meshes cost no more.
template <class T>
void makeRoom(std::vector<T>& values, std::size_t more) {
  if (values.capacity() - values.size() < more)
    values.reserve(std::max(values.size() + more, 2 * values.capacity()));
}

class Joiner {
 public:
  Joiner(Model& model, const aiScene& scene, const ColourRules& rules)
      : model_(model), scene_(scene), rules_(rules) {}

  void add(const aiMesh& mesh, const aiMatrix4x4& transform) {
    const std::uint32_t base = std::uint32_t(model_.vertexCount());
    std::size_t triangles = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f)
      triangles += std::max(mesh.mFaces[f].mNumIndices, 2u) - 2;
    makeRoom(model_.positions, 3 * std::size_t(mesh.mNumVertices));
    makeRoom(model_.indices, 3 * triangles);
    for (unsigned i = 0; i < mesh.mNumVertices; ++i) {
      aiVector3D p = transform * mesh.mVertices[i];
      model_.positions.insert(model_.positions.end(), {p.x, p.y, p.z});
    }
    addColours(mesh, base);
    const bool mirrored = transform.Determinant() < 0;
    ++model_.meshes;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices == 1) ++model_.points;
      if (face.mNumIndices == 2) ++model_.lines;
      if (face.mNumIndices < 3) continue;
      corners_.clear();
      for (unsigned k = 0; k < face.mNumIndices && face.mIndices[k] < mesh.mNumVertices; ++k)
        corners_.push_back(base + face.mIndices[k]);
      if (corners_.size() < face.mNumIndices) continue;  // an index beyond the mesh
      if (mirrored) std::reverse(corners_.begin(), corners_.end());
      if (corners_.size() > 3) ++model_.polygons;
      model_.corners += corners_.size();
      tessellator_.triangulate(model_.positions, corners_.data(), corners_.size(), model_.indices);
    }
    triangulating_ += std::chrono::steady_clock::now() - start;
  }

  // Time spent on the faces, which is triangulating them.
  double triangulateSeconds() const { return triangulating_.count(); }

 private:
  // The mesh's colours from its vertices, else from its material. The colours stay empty until
  // some mesh has one, so that a model without any is the same as before colours were read.
  void addColours(const aiMesh& mesh, std::uint32_t base) {
    const aiColor4D* vertexColours = mesh.mColors[0];
    const std::optional<std::uint32_t> colour =
        vertexColours ? std::nullopt : materialColour(scene_, mesh, rules_);
    if (!vertexColours && !colour && model_.colours.empty()) return;
    model_.colours.resize(base, threedb::vertexColour);
    for (unsigned i = 0; i < mesh.mNumVertices; ++i)
      model_.colours.push_back(vertexColours ? colourWord(vertexColours[i], rules_.linear)
                                             : colour.value_or(threedb::vertexColour));
  }

  std::chrono::duration<double> triangulating_{0};
  Model& model_;
  const aiScene& scene_;
  const ColourRules& rules_;
  Tessellator tessellator_;
  std::vector<std::uint32_t> corners_;
};

// The names of the nodes from the root to `node`, by '/', those without a name left out.
std::string nodePath(const aiNode& node) {
  std::vector<const aiNode*> nodes;
  for (const aiNode* n = &node; n && nodes.size() < maxDepth; n = n->mParent) nodes.push_back(n);
  std::string path;
  for (auto n = nodes.rbegin(); n != nodes.rend(); ++n) {
    if ((*n)->mName.length == 0) continue;
    if (!path.empty()) path += '/';
    path += (*n)->mName.C_Str();
  }
  return path;
}

MeshEntry entryOf(const aiScene& scene, const aiMesh& mesh, const aiNode& node,
                  const ColourRules& rules) {
  MeshEntry entry;
  entry.name = std::string(mesh.mName.C_Str()).substr(0, maxMeshListText);
  entry.node = nodePath(node).substr(0, maxMeshListText);
  entry.vertices = mesh.mNumVertices;
  for (unsigned f = 0; f < mesh.mNumFaces; ++f)
    if (mesh.mFaces[f].mNumIndices >= 3) entry.triangles += mesh.mFaces[f].mNumIndices - 2;
  entry.colours = mesh.mColors[0] || materialColour(scene, mesh, rules);
  return entry;
}

// Whether the file is a PLY with some of the element `element` (as "tristrips", faces that are
// triangle strips, which the library reads as one triangle): read from its header, which ends at
// "end_header".
bool plyHasElement(const std::string& path, const std::string& element) {
  std::ifstream file(path, std::ios::binary);
  std::string line;
  if (!std::getline(file, line) || line.compare(0, 3, "ply") != 0) return false;
  for (int n = 0; n < 10000 && std::getline(file, line); ++n) {
    std::istringstream words(line);
    std::string word, name;
    long long count = 0;
    words >> word;
    if (word == "end_header") return false;
    if (word == "element" && words >> name >> count && name == element && count > 0) return true;
  }
  return false;
}

// The library's own file access, noting each file it opens.
class RecordingIO : public Assimp::DefaultIOSystem {
 public:
  explicit RecordingIO(std::vector<std::string>& opened) : opened_(opened) {}

  Assimp::IOStream* Open(const char* file, const char* mode) override {
    Assimp::IOStream* stream = Assimp::DefaultIOSystem::Open(file, mode);
    if (stream && opened_.size() < maxFilesRead) opened_.emplace_back(file);
    return stream;
  }

 private:
  // A model of more files than this is not one a person made: the rest go unnoted.
  static constexpr std::size_t maxFilesRead = 4096;
  std::vector<std::string>& opened_;
};

// Joins the meshes (those named in `meshes`, or all) that the scene's nodes place, each where
// its node puts it, and lists every one.
void joinNodes(const aiScene& scene, const std::vector<std::string>& meshes,
               const ColourRules& rules, Model& model, Joiner& joiner) {
  std::vector<std::pair<const aiNode*, aiMatrix4x4>> pending{{scene.mRootNode, aiMatrix4x4()}};
  std::vector<std::size_t> depth{0};
  std::size_t listBytes = 0;
  while (!pending.empty()) {
    auto [node, parent] = pending.back();
    std::size_t level = depth.back();
    pending.pop_back();
    depth.pop_back();
    const aiMatrix4x4 transform = parent * node->mTransformation;
    for (unsigned m = 0; m < node->mNumMeshes; ++m) {
      if (node->mMeshes[m] >= scene.mNumMeshes) continue;
      const aiMesh& mesh = *scene.mMeshes[node->mMeshes[m]];
      MeshEntry entry = entryOf(scene, mesh, *node, rules);
      listBytes += encodeMeshList({entry}).size();
      if (listBytes <= maxMeshListBytes) model.meshList.push_back(std::move(entry));
      if (meshes.empty() ||
          std::find(meshes.begin(), meshes.end(), mesh.mName.C_Str()) != meshes.end())
        joiner.add(mesh, transform);
    }
    if (level + 1 >= maxDepth) continue;
    for (unsigned c = node->mNumChildren; c-- > 0;) {
      pending.emplace_back(node->mChildren[c], transform);
      depth.push_back(level + 1);
    }
  }
}

}  // namespace

bool readScene(const std::string& path, const std::vector<std::string>& meshes, Model& model,
               std::string& error, bool leaveReaderAlive) {
  const auto start = std::chrono::steady_clock::now();
  auto owned = std::make_unique<Assimp::Importer>();
  // Declared after `owned`, so destroyed before it: on every way out, the reader is let go of
  // before it could be destroyed.
  struct Leave {
    std::unique_ptr<Assimp::Importer>& reader;
    bool leave;
    ~Leave() {
      if (leave) (void)reader.release();
    }
  } leave{owned, leaveReaderAlive};
  Assimp::Importer& reader = *owned;
  reader.SetIOHandler(new RecordingIO(model.filesRead));  // the reader owns it
  // No post-processing: polygons are read as they are and triangulated by the tessellator, which
  // does concave ones right.
  const aiScene* scene = reader.ReadFile(path, 0);
  if (!scene || !scene->mRootNode) {
    error = reader.GetErrorString();
    if (error.empty()) error = "the file holds no scene";
    return false;
  }
  model.format = formatOf(reader, path);
  if (model.format.find("PLY") != std::string::npos && plyHasElement(path, "tristrips")) {
    error = "its faces are triangle strips (a PLY element tristrips), which are not read";
    return false;
  }
  ColourRules rules;
  rules.linear = model.format.find("glTF") != std::string::npos;
  rules.lastMaterialInvented = model.format.find("glTF2") != std::string::npos;
  rules.materialsInvented =
      model.format.find("PLY") != std::string::npos && !plyHasElement(path, "material");
  Joiner joiner(model, *scene, rules);
  joinNodes(*scene, meshes, rules, model, joiner);
  model.triangulateSeconds = joiner.triangulateSeconds();
  model.readSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}

}  // namespace importer
