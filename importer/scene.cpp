#include "scene.h"

#include <assimp/importerdesc.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "tessellate.h"

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

class Joiner {
 public:
  explicit Joiner(Model& model) : model_(model) {}

  void add(const aiMesh& mesh, const aiMatrix4x4& transform) {
    const std::uint32_t base = std::uint32_t(model_.vertexCount());
    for (unsigned i = 0; i < mesh.mNumVertices; ++i) {
      aiVector3D p = transform * mesh.mVertices[i];
      model_.positions.insert(model_.positions.end(), {p.x, p.y, p.z});
    }
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
  std::chrono::duration<double> triangulating_{0};
  Model& model_;
  Tessellator tessellator_;
  std::vector<std::uint32_t> corners_;
};

// Whether the file is a PLY whose faces are triangle strips (an element "tristrips"), which the
// library reads as one triangle: read from its header, which ends at "end_header".
bool hasTriangleStrips(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string line;
  if (!std::getline(file, line) || line.compare(0, 3, "ply") != 0) return false;
  for (int n = 0; n < 10000 && std::getline(file, line); ++n) {
    std::istringstream words(line);
    std::string word, name;
    long long count = 0;
    words >> word;
    if (word == "end_header") return false;
    if (word == "element" && words >> name >> count && name == "tristrips" && count > 0)
      return true;
  }
  return false;
}

}  // namespace

bool readScene(const std::string& path, Model& model, std::string& error, bool leaveReaderAlive) {
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
  // No post-processing: polygons are read as they are and triangulated by the tessellator, which
  // does concave ones right.
  const aiScene* scene = reader.ReadFile(path, 0);
  if (!scene || !scene->mRootNode) {
    error = reader.GetErrorString();
    if (error.empty()) error = "the file holds no scene";
    return false;
  }
  model.format = formatOf(reader, path);
  if (model.format.find("PLY") != std::string::npos && hasTriangleStrips(path)) {
    error = "its faces are triangle strips (a PLY element tristrips), which are not read";
    return false;
  }
  Joiner joiner(model);
  std::vector<std::pair<const aiNode*, aiMatrix4x4>> pending{{scene->mRootNode, aiMatrix4x4()}};
  std::vector<std::size_t> depth{0};
  while (!pending.empty()) {
    auto [node, parent] = pending.back();
    std::size_t level = depth.back();
    pending.pop_back();
    depth.pop_back();
    const aiMatrix4x4 transform = parent * node->mTransformation;
    for (unsigned m = 0; m < node->mNumMeshes; ++m)
      if (node->mMeshes[m] < scene->mNumMeshes)
        joiner.add(*scene->mMeshes[node->mMeshes[m]], transform);
    if (level + 1 >= maxDepth) continue;
    for (unsigned c = node->mNumChildren; c-- > 0;) {
      pending.emplace_back(node->mChildren[c], transform);
      depth.push_back(level + 1);
    }
  }
  model.triangulateSeconds = joiner.triangulateSeconds();
  model.readSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}

}  // namespace importer
