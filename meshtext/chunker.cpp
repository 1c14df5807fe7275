#include "meshtext/chunker.h"

#include <algorithm>
#include <cstring>

#include "meshtext/index.h"
#include "meshtext/summary.h"

namespace meshtext {

Chunker::Chunker(std::streambuf& input, std::size_t blockSize, Simd simd)
    : input_(input), blockSize_(blockSize ? blockSize : 1), simd_(simd) {}

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

namespace {

// The two counts, each summed up as it arrives, so that a count of any length costs no memory.
class CountSink : public TokenSink {
 public:
  IntegerSummary values[2];
  void piece(std::size_t token, std::string_view text, bool) override { values[token].add(text); }
};

}  // namespace

std::size_t Chunker::readCounts(Counts& counts) {
  CountSink sink;
  std::size_t found = streamTokens(2, sink);
  counts.vertexCount = found > 0 ? sink.values[0].value() : 0;
  counts.faceCount = found > 1 ? sink.values[1].value() : 0;
  return found;
}

// Reads `count` tokens, from the carried text and then from the input a block at a time, handing
// each piece to `sink` as it comes; what follows the last of them is carried to the next chunk.
// A token that reaches the end of the text read so far is continued in the next block.
std::size_t Chunker::streamTokens(std::size_t count, TokenSink& sink) {
  const std::string carried = std::move(carry_);
  carry_.clear();
  std::string_view text = carried;
  std::size_t pos = 0, found = 0;
  bool inToken = false;
  for (;;) {
    while (found < count) {
      if (!inToken) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos == text.size()) break;
        inToken = true;
      }
      const std::size_t start = pos;
      while (pos < text.size() && !isSpace(text[pos])) ++pos;
      const bool ends = pos < text.size();
      sink.piece(found, text.substr(start, pos - start), ends);
      if (!ends) break;
      inToken = false;
      ++found;
    }
    if (found == count) break;
    if (!streamBlock_) streamBlock_.reset(new char[blockSize_]);
    std::streamsize got =
        ended_ ? 0 : input_.sgetn(streamBlock_.get(), std::streamsize(blockSize_));
    pos = 0;
    if (got <= 0) {
      ended_ = true;
      text = {};
      if (inToken) sink.piece(found++, {}, true);  // the input ends the token
      break;
    }
    text = std::string_view(streamBlock_.get(), std::size_t(got));
  }
  carry_.assign(text.substr(pos));
  return found;
}

std::size_t Chunker::streamRecord(TokenSink& sink) {
  std::size_t found = streamTokens(3, sink);
  if (found < 3) {
    leftover_ = found;
    finished_ = true;
  } else {
    ++recordsSoFar_;
  }
  return found;
}

bool Chunker::next(RecordChunk& chunk) {
  PaddedText& text = chunk.text;
  if (finished_) {
    text.seal(0);
    chunk.records = chunk.tailTokens = 0;
    chunk.streamed = false;
    return false;
  }
  std::size_t length;
  startWithCarry(text, length);
  for (;;) {
    readMore(text, length, std::max(blockSize_, length));
    // Unless the input has ended, a token that reaches the end of the text may go on.
    bool open = !ended_ && length > 0 && !isSpace(text.data()[length - 1]);
    std::size_t tokens = countTokens(text.data(), length, true, simd_);
    std::uint64_t records = (tokens - (open ? 1 : 0)) / 3;
    if (records == 0) {
      if (ended_) {
        leftover_ = tokens;
        finished_ = true;
        chunk.streamed = false;
        chunk.records = 0;
        chunk.tailTokens = tokens;
        return false;
      }
      length = compactTokens(text.data(), length);
      if (length > blockSize_) {
        // A record longer than a block is read in pieces, never held.
        carry_.assign(text.data(), length);
        text.seal(0);
        chunk.firstRecord = recordsSoFar_;
        chunk.records = 1;
        chunk.tailTokens = 0;
        chunk.streamed = true;
        return true;
      }
      continue;
    }
    std::size_t cut = lastTokensStart(text.data(), length, tokens - std::size_t(records) * 3);
    carry_.assign(text.data() + cut, length - cut);
    carry_.resize(compactTokens(carry_.data(), carry_.size()));
    text.seal(cut);
    chunk.firstRecord = recordsSoFar_;
    chunk.records = records;
    chunk.tailTokens = 0;
    chunk.streamed = false;
    recordsSoFar_ += records;
    return true;
  }
}

}  // namespace meshtext
