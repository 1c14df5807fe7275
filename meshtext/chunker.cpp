#include "meshtext/chunker.h"

#include <algorithm>
#include <cstring>

#include "meshtext/numbers.h"

namespace meshtext {

Chunker::Chunker(std::streambuf& input, std::size_t blockSize)
    : input_(input), blockSize_(blockSize ? blockSize : 1) {}

void Chunker::startWithCarry(PaddedText& text, std::size_t& length) {
  length = carry_.size();
  std::memcpy(text.reserve(length), carry_.data(), length);
  text.seal(length);
  carry_.clear();
}

// Appends up to `wanted` bytes of input to the text and seals it; false at the end of the input.
bool Chunker::readMore(PaddedText& text, std::size_t& length, std::size_t wanted) {
  if (ended_) return false;
  char* data = text.reserve(length + wanted);
  std::streamsize got = input_.sgetn(data + length, std::streamsize(wanted));
  if (got > 0) length += std::size_t(got);
  text.seal(length);
  if (got <= 0) ended_ = true;
  return got > 0;
}

std::size_t Chunker::readCounts(Counts& counts) {
  PaddedText text;
  std::size_t length = 0;
  std::string_view tokens[2];
  std::size_t found;
  for (;;) {
    // Growing with the text read so far keeps a giant token linear to read.
    readMore(text, length, std::max(blockSize_, length));
    Scanner scanner(text);
    found = 0;
    while (found < 2 && scanner.token(tokens[found])) ++found;
    // Unless the input has ended, a token that reaches the end of the text may go on.
    if ((found == 2 && scanner.offset() < length) || ended_) break;
    length = compactTokens(text.data(), length);
  }
  counts.vertexCount = found > 0 ? parseInteger(tokens[0]) : 0;
  counts.faceCount = found > 1 ? parseInteger(tokens[1]) : 0;
  std::size_t rest =
      found > 1 ? std::size_t(tokens[1].data() + tokens[1].size() - text.data()) : length;
  carry_.assign(text.data() + rest, length - rest);
  return found;
}

bool Chunker::next(RecordChunk& chunk) {
  PaddedText& text = chunk.text;
  if (finished_) {
    text.seal(0);
    chunk.records = chunk.tailTokens = 0;
    return false;
  }
  std::size_t length;
  startWithCarry(text, length);
  for (;;) {
    readMore(text, length, std::max(blockSize_, length));
    // Unless the input has ended, a token that reaches the end of the text may go on.
    bool open = !ended_ && length > 0 && !isSpace(text.data()[length - 1]);
    std::size_t tokens = countTokens(text.data(), length);
    std::uint64_t records = (tokens - (open ? 1 : 0)) / 3;
    if (records == 0) {
      if (ended_) {
        leftover_ = tokens;
        finished_ = true;
        chunk.records = 0;
        chunk.tailTokens = tokens;
        return false;
      }
      length = compactTokens(text.data(), length);
      continue;
    }
    std::size_t cut = lastTokensStart(text.data(), length, tokens - std::size_t(records) * 3);
    carry_.assign(text.data() + cut, length - cut);
    carry_.resize(compactTokens(carry_.data(), carry_.size()));
    text.seal(cut);
    chunk.firstRecord = recordsSoFar_;
    chunk.records = records;
    chunk.tailTokens = 0;
    recordsSoFar_ += records;
    return true;
  }
}

}  // namespace meshtext
