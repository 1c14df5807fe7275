// The device-side C loader against the tools' reader on arbitrary bytes: the same problem, the
// same counts, the same records; and the records it reads in place the same as those it decodes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "threedb/reader.h"
#include "v3db.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

v3db_problem asLoader(threedb::Problem problem) {
  switch (problem) {
    case threedb::Problem::none:
      return V3DB_OK;
    case threedb::Problem::truncatedHeader:
      return V3DB_TRUNCATED_HEADER;
    case threedb::Problem::badMagic:
      return V3DB_BAD_MAGIC;
    case threedb::Problem::unknownVersion:
      return V3DB_UNKNOWN_VERSION;
    case threedb::Problem::negativeVertexCount:
      return V3DB_NEGATIVE_VERTEX_COUNT;
    case threedb::Problem::truncatedVertices:
      return V3DB_TRUNCATED_VERTICES;
    case threedb::Problem::trailingBytes:
      return V3DB_TRAILING_BYTES;
  }
  return V3DB_OK;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The file one byte past a 16-byte boundary, as the device loads it.
  std::vector<unsigned char> storage(size + 32);
  unsigned char* file =
      storage.data() + (16 - reinterpret_cast<std::uintptr_t>(storage.data()) % 16) % 16 + 1;
  if (size) std::memcpy(file, data, size);
  v3db_mesh mesh;
  const v3db_problem problem = v3db_open(file, size, &mesh);

  std::stringbuf input(std::string(reinterpret_cast<const char*>(data), size));
  threedb::FileReader reader(input);
  threedb::Header header;
  threedb::Problem expected = reader.readHeader(header);
  std::vector<threedb::VertexRecord> vertices;
  std::vector<threedb::FaceRecord> faces;
  threedb::VertexRecord vertex;
  threedb::FaceRecord face;
  while (reader.readVertex(vertex)) vertices.push_back(vertex);
  while (reader.readFace(face)) faces.push_back(face);
  if (expected == threedb::Problem::none) expected = reader.problem();

  check(problem == asLoader(expected));
  check(mesh.vertices == vertices.size() && mesh.faces == faces.size());
  check(mesh.trailing == reader.trailingBytes());
  if (size >= threedb::headerSize)
    check(mesh.vertex_count == header.vertexCount && mesh.face_count == header.faceCount &&
          mesh.version == header.version);

  std::vector<v3db_vertex> decoded(mesh.vertices);
  std::vector<v3db_face> decodedFaces(mesh.faces);
  v3db_decode(&mesh, decoded.data(), decodedFaces.data());
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    std::uint32_t bits[3];
    std::memcpy(&bits[0], &decoded[i].x, 4);
    std::memcpy(&bits[1], &decoded[i].y, 4);
    std::memcpy(&bits[2], &decoded[i].z, 4);
    check(decoded[i].colour == vertices[i].colour && bits[0] == vertices[i].xBits &&
          bits[1] == vertices[i].yBits && bits[2] == vertices[i].zBits);
  }
  for (std::size_t i = 0; i < faces.size(); ++i)
    check(decodedFaces[i].a == faces[i].a && decodedFaces[i].b == faces[i].b &&
          decodedFaces[i].c == faces[i].c);
  const v3db_vertex* inPlace = v3db_vertices_in_place(&mesh);
  if (inPlace && !decoded.empty())
    check(std::memcmp(inPlace, decoded.data(), decoded.size() * sizeof(v3db_vertex)) == 0);
  const v3db_face* facesInPlace = v3db_faces_in_place(&mesh);
  if (facesInPlace && !decodedFaces.empty())
    check(std::memcmp(facesInPlace, decodedFaces.data(), decodedFaces.size() * sizeof(v3db_face)) ==
          0);
  return 0;
}
