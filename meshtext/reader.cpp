#include "meshtext/reader.h"

#include "meshtext/numbers.h"

namespace meshtext {

Reader::Reader(std::streambuf& input, std::size_t blockSize) : chunker_(input, blockSize) {}

namespace {

// A record too long for a chunk, gathered whole: this reader hands out whole tokens.
class Gather : public TokenSink {
 public:
  std::string text;
  void piece(std::size_t, std::string_view piece, bool last) override {
    text += piece;
    if (last) text += ' ';
  }
};

}  // namespace

bool Reader::nextChunk() {
  if (ended_) return false;
  ended_ = !chunker_.next(chunk_);
  if (chunk_.streamed) {
    Gather record;
    if (chunker_.streamRecord(record) < 3) ended_ = true;
    chunk_.text.assign(record.text);
  }
  scanner_ = chunk_.scanner();
  return chunk_.records > 0 || chunk_.tailTokens > 0;
}

std::size_t Reader::readTokens(std::string_view* tokens, std::size_t wanted) {
  if (wanted > 3) wanted = 3;
  std::size_t found = 0;
  bool held[3] = {};
  while (found < wanted) {
    if (scanner_.token(tokens[found])) {
      ++found;
      continue;
    }
    // The chunk's text is about to be replaced: keep the tokens found in it.
    for (std::size_t i = 0; i < found; ++i) {
      if (held[i]) continue;
      held_[i].assign(tokens[i]);
      tokens[i] = held_[i];
      held[i] = true;
    }
    if (!nextChunk()) break;
  }
  return found;
}

std::size_t Reader::readCounts(Counts& counts) {
  std::string_view text[2];
  std::size_t found = readTokens(text, 2);
  counts.vertexCount = found > 0 ? parseInteger(text[0]) : 0;
  counts.faceCount = found > 1 ? parseInteger(text[1]) : 0;
  return found;
}

std::size_t Reader::readVertex(Vertex& vertex) {
  if (scanner_.vertex(vertex)) return 3;
  std::size_t found = readTokens(vertex.text.data(), 3);
  if (found == 3) {
    vertex.x = parseCoordinate(vertex.text[0]);
    vertex.y = parseCoordinate(vertex.text[1]);
    vertex.z = parseCoordinate(vertex.text[2]);
  }
  return found;
}

std::size_t Reader::readFace(Face& face) {
  if (scanner_.face(face)) return 3;
  std::size_t found = readTokens(face.text.data(), 3);
  if (found == 3) {
    for (std::size_t i = 0; i < 3; ++i) {
      face.value[i] = parseInteger(face.text[i]);
      face.index[i] = toIndex(face.value[i]);
    }
  }
  return found;
}

}  // namespace meshtext
