#include "meshtext/reader.h"

#include "meshtext/numbers.h"
#include "portable_path.h"

namespace meshtext {

Reader::Reader(std::streambuf& input, std::size_t readSize)
    : blocks_(input, readSize), block_(blocks_.blockSize()) {}

bool Reader::Parts::receive(Carry& carried) {
  carried = std::move(reader.carry_);
  return true;
}

void Reader::Parts::piece(std::uint64_t, std::size_t token, std::string_view text, bool last) {
  Gather& gather = reader.streaming_;
  if (token >= gather.count) gather.count = token + 1;
  gather.tokens[token] += text;
  if (last && token == 2) unfinished(0);  // whole: handed out before the block's records
}

void Reader::Parts::unfinished(std::uint64_t) {
  reader.gathered_ = std::move(reader.streaming_);
  reader.streaming_ = Gather();
}

void Reader::Parts::handOn(Carry&& carry) { reader.carry_ = std::move(carry); }

void Reader::Parts::records(const Block&, const Chunk& chunk) {
  reader.starts_ = chunk.starts;
  reader.blockTokens_ = 3 * std::size_t(chunk.records) + chunk.leftover;
  reader.blockNext_ = 0;
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
  gathered_ = Gather();
  gatheredNext_ = 0;
  Parts parts(*this);
  cutIntoRecords(block_, parts);
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
