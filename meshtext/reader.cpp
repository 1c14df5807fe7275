#include "meshtext/reader.h"

#include <cstring>

#include "meshtext/numbers.h"

namespace meshtext {

Reader::Reader(std::streambuf& input, std::size_t blockSize)
    : input_(input), blockSize_(blockSize ? blockSize : 1), buffer_(blockSize_) {}

// Moves the tokens of the record being read (and the start of a token cut by the end of the
// buffer) to the front, then reads the next block behind them. Only tokens are kept, never the
// whitespace between them, so memory stays bounded by the record's own length.
bool Reader::refill(std::size_t* starts, const std::size_t* lengths, std::size_t found,
                    std::size_t& partialStart) {
  if (ended_) return false;
  char* data = buffer_.data();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < found; ++i) {
    std::memmove(data + kept, data + starts[i], lengths[i]);
    starts[i] = kept;
    kept += lengths[i];
  }
  std::size_t partialLength = end_ - partialStart;
  std::memmove(data + kept, data + partialStart, partialLength);
  partialStart = kept;
  kept += partialLength;
  pos_ = end_ = kept;

  // Grow geometrically, so that a giant token costs linear time to read.
  std::size_t wantedFree = kept > blockSize_ ? kept : blockSize_;
  if (buffer_.size() - kept < wantedFree) buffer_.resize(kept + wantedFree);

  std::streamsize got = input_.sgetn(buffer_.data() + kept, std::streamsize(buffer_.size() - kept));
  if (got <= 0) {
    ended_ = true;
    return false;
  }
  end_ += std::size_t(got);
  return true;
}

std::size_t Reader::readTokens(std::string_view* tokens, std::size_t wanted) {
  std::size_t starts[3];
  std::size_t lengths[3];
  std::size_t found = 0;
  if (wanted > 3) wanted = 3;
  while (found < wanted) {
    for (;;) {
      while (pos_ < end_ && isSpace(buffer_[pos_])) ++pos_;
      if (pos_ < end_) break;
      std::size_t none = end_;
      if (!refill(starts, lengths, found, none)) goto done;
    }
    std::size_t start = pos_;
    for (;;) {
      while (pos_ < end_ && !isSpace(buffer_[pos_])) ++pos_;
      if (pos_ < end_ || !refill(starts, lengths, found, start)) break;
    }
    starts[found] = start;
    lengths[found] = pos_ - start;
    ++found;
  }
done:
  for (std::size_t i = 0; i < found; ++i)
    tokens[i] = std::string_view(buffer_.data() + starts[i], lengths[i]);
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
