// Converts a triangle with the installed libraries and reads it back: exit 0 when it all agrees.
#include <cstdio>
#include <sstream>

#include "meshtext/reader.h"
#include "threedb/reader.h"
#include "threedb/writer.h"

int main() {
  std::stringbuf text("3 1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n");
  meshtext::Reader reader(text);
  meshtext::Counts counts;
  if (reader.readCounts(counts) != 2) return 1;
  std::stringbuf bytes;
  threedb::Writer writer(bytes);
  writer.writeHeader(counts.vertexCount, counts.faceCount);
  meshtext::Vertex vertex;
  while (counts.vertexCount-- > 0 && reader.readVertex(vertex) == 3)
    writer.writeVertex(vertex.x, vertex.y, vertex.z);
  meshtext::Face face;
  while (reader.readFace(face) == 3) writer.writeFace(face.index[0], face.index[1], face.index[2]);
  if (!writer.flush() || bytes.str().size() != 69) return 2;

  threedb::FileReader back(bytes);
  threedb::Header header;
  threedb::VertexRecord record;
  threedb::FaceRecord triangle;
  if (back.readHeader(header) != threedb::Problem::none) return 3;
  while (back.readVertex(record)) {
  }
  if (!back.readFace(triangle) || triangle.c != 2 || back.problem() != threedb::Problem::none)
    return 4;
  std::puts("consumer: 69 bytes written and read back");
  return 0;
}
