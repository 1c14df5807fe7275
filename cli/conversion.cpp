#include "conversion.h"

#include "meshtext/numbers.h"
#include "threedb/writer.h"

namespace vorlatic {

Outcome convert(std::streambuf& input, const std::function<std::streambuf*()>& openOutput,
                Echo& echo) {
  Outcome outcome;
  meshtext::Reader reader(input);
  outcome.countTokens = reader.readCounts(outcome.counts);
  if (outcome.countTokens < 2) {
    outcome.stop = Stop::missingCounts;
    return outcome;
  }
  echo.counts(outcome.counts);
  // Compared as unsigned, a negative count would ask for some four billion vertices.
  if (outcome.counts.vertexCount < 0) {
    outcome.stop = Stop::negativeVertexCount;
    return outcome;
  }
  std::streambuf* output = openOutput();
  if (!output) {
    outcome.stop = Stop::outputUnavailable;
    return outcome;
  }

  threedb::Writer writer(*output);
  writer.writeHeader(outcome.counts.vertexCount, outcome.counts.faceCount);
  const auto vertexCount = static_cast<std::uint32_t>(outcome.counts.vertexCount);
  meshtext::Vertex vertex;
  for (; outcome.verticesFound < vertexCount && !writer.failed(); ++outcome.verticesFound) {
    if (reader.readVertex(vertex) < 3) {
      outcome.stop = Stop::truncatedVertices;
      return outcome;
    }
    echo.vertex(vertex);
    writer.writeVertex(vertex.x, vertex.y, vertex.z);
  }

  meshtext::Face face;
  while (!writer.failed()) {
    std::size_t found = reader.readFace(face);
    if (found < 3) {
      outcome.partialFaceTokens = found;
      break;
    }
    echo.face(face);
    writer.writeFace(face.index[0], face.index[1], face.index[2]);
    ++outcome.faceRecords;
    for (std::int32_t value : face.value) outcome.indicesOutOfRange += !meshtext::fitsIndex(value);
  }
  if (!writer.flush()) outcome.stop = Stop::writeFailed;
  return outcome;
}

}  // namespace vorlatic
