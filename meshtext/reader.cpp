#include "meshtext/reader.h"

#include "meshtext/numbers.h"
#include "quick.h"

namespace meshtext {

Reader::Reader(std::streambuf& input, std::size_t blockSize)
    : blocks_(input, blockSize), block_(blocks_.blockSize()) {}

void Reader::Gather::piece(std::uint64_t, std::size_t token, std::string_view text, bool) {
  if (token >= count) count = token + 1;
  tokens[token] += text;
}

bool Reader::take(std::string_view& token) {
  if (gatheredNext_ < gathered_.count) {
    token = gathered_.tokens[gatheredNext_++];
    return true;
  }
  if (blockNext_ < blockTokens_) {
    const char* start = block_.text() + starts_[blockNext_++];
    const char* end = tokenEnd(start, block_.text() + block_.length());
    token = std::string_view(start, std::size_t(end - start));
    return true;
  }
  return false;
}

bool Reader::nextBlock() {
  if (!blocks_.next(block_)) return false;
  started_ = true;
  block_.index();
  Carry out;
  const bool wasStreaming = carry_.streaming;
  const Chunk chunk = block_.cut(carry_, out, streaming_);
  gathered_ = Gather();
  gatheredNext_ = 0;
  if (wasStreaming && !out.streaming) std::swap(gathered_, streaming_);  // whole, or ended
  starts_ = chunk.starts;
  blockTokens_ = 3 * std::size_t(chunk.records) + (out.ended && !wasStreaming ? out.leftover : 0);
  blockNext_ = 0;
  if (block_.tailStreams()) block_.streamTail(out, streaming_);
  carry_ = std::move(out);
  return true;
}

std::size_t Reader::readTokens(std::string_view* tokens, std::size_t wanted) {
  if (wanted > 3) wanted = 3;
  std::size_t found = 0;
  bool held[3] = {};
  while (found < wanted) {
    if (take(tokens[found])) {
      ++found;
      continue;
    }
    // The block's text is about to be replaced: keep the tokens found in it.
    for (std::size_t i = 0; i < found; ++i) {
      if (held[i]) continue;
      held_[i].assign(tokens[i]);
      tokens[i] = held_[i];
      held[i] = true;
    }
    if (!nextBlock()) break;
  }
  return found;
}

std::size_t Reader::readCounts(Counts& counts) {
  if (!started_) return blocks_.readCounts(counts);
  std::string_view text[2];
  std::size_t found = readTokens(text, 2);
  counts.vertexCount = found > 0 ? parseInteger(text[0]) : 0;
  counts.faceCount = found > 1 ? parseInteger(text[1]) : 0;
  return found;
}

std::size_t Reader::readVertex(Vertex& vertex) {
  std::size_t found = readTokens(vertex.text.data(), 3);
  if (found == 3) {
    vertex.x = parseCoordinate(vertex.text[0]);
    vertex.y = parseCoordinate(vertex.text[1]);
    vertex.z = parseCoordinate(vertex.text[2]);
  }
  return found;
}

std::size_t Reader::readFace(Face& face) {
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
