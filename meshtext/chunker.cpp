#include "meshtext/chunker.h"

#include <algorithm>
#include <cstring>

#include "meshtext/numbers.h"
#include "words.h"

namespace meshtext {
namespace {

// Room after a chunk's text for the NUL and the scanners' word-sized loads.
constexpr std::size_t padding = 16;

// How many bytes of the word have their top bit set, all other bits being clear: the bits are
// gathered into the top byte by one multiplication, with no carry between bytes.
inline std::size_t countHighBits(std::uint64_t x) noexcept {
  return std::size_t(((x >> 7) * 0x0101010101010101u) >> 56);
}

// 0x80 in each byte of the word that is a space, \t, \n, \v, \f or \r; 0 elsewhere.
inline std::uint64_t spaceBytes(std::uint64_t word) noexcept {
  constexpr std::uint64_t high = 0x8080808080808080u, low7 = 0x7F7F7F7F7F7F7F7Fu;
  std::uint64_t blank = word ^ 0x2020202020202020u;
  std::uint64_t isBlank = ~(((blank & low7) + low7) | blank) & high;
  std::uint64_t seven = word & low7;
  std::uint64_t atLeast9 = seven + 0x7777777777777777u;
  std::uint64_t atLeast14 = seven + 0x7272727272727272u;
  return isBlank | (atLeast9 & ~atLeast14 & ~word & high);
}

// The tokens that start in text[0, length), eight bytes at a time.
std::size_t countTokens(const char* text, std::size_t length) noexcept {
  std::size_t count = 0;
  std::uint64_t spaceBefore = 0x80;  // the start counts as following a space
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    std::uint64_t space = spaceBytes(load8(text + i));
    count += countHighBits(~space & ((space << 8) | spaceBefore) & 0x8080808080808080u);
    spaceBefore = (space >> 56) & 0x80;
  }
  bool previousSpace = spaceBefore != 0;
  for (; i < length; ++i) {
    bool space = isSpace(text[i]);
    count += !space && previousSpace;
    previousSpace = space;
  }
  return count;
}

// Where the last `count` tokens of text[0, length) start.
std::size_t lastTokensStart(const char* text, std::size_t length, std::size_t count) noexcept {
  std::size_t p = length;
  for (; count > 0; --count) {
    while (p > 0 && isSpace(text[p - 1])) --p;
    while (p > 0 && !isSpace(text[p - 1])) --p;
  }
  return p;
}

// Rewrites text[0, length) in place as its tokens joined by single spaces, ending in a space when
// it did: the tokens stay as they were, and a run of whitespace costs no memory. Returns the
// new length.
std::size_t compactTokens(char* text, std::size_t length) noexcept {
  std::size_t out = 0;
  for (std::size_t i = 0; i < length;) {
    if (isSpace(text[i])) {
      while (i < length && isSpace(text[i])) ++i;
      if (out > 0) text[out++] = ' ';
    } else {
      text[out++] = text[i++];
    }
  }
  return out;
}

}  // namespace

Chunker::Chunker(std::streambuf& input, std::size_t blockSize)
    : input_(input), blockSize_(blockSize ? blockSize : 1) {}

bool Chunker::readMore(std::vector<char>& text, std::size_t& length, std::size_t wanted) {
  if (ended_) return false;
  if (text.size() < length + wanted + padding) text.resize(length + wanted + padding);
  std::streamsize got = input_.sgetn(text.data() + length, std::streamsize(wanted));
  if (got <= 0) {
    ended_ = true;
    return false;
  }
  length += std::size_t(got);
  return true;
}

std::size_t Chunker::readCounts(Counts& counts) {
  std::vector<char> text;
  std::size_t length = 0;
  std::size_t starts[2], ends[2], found;
  for (;;) {
    // Growing with the text read so far keeps a giant token linear to read.
    readMore(text, length, std::max(blockSize_, length));
    found = 0;
    std::size_t p = 0;
    while (found < 2) {
      while (p < length && isSpace(text[p])) ++p;
      if (p == length) break;
      starts[found] = p;
      while (p < length && !isSpace(text[p])) ++p;
      ends[found++] = p;
    }
    bool complete = found == 2 && ends[1] < length;
    if (complete || ended_) break;
    length = compactTokens(text.data(), length);
  }
  counts.vertexCount =
      found > 0 ? parseInteger(std::string_view(text.data() + starts[0], ends[0] - starts[0])) : 0;
  counts.faceCount =
      found > 1 ? parseInteger(std::string_view(text.data() + starts[1], ends[1] - starts[1])) : 0;
  std::size_t rest = found > 1 ? ends[1] : length;
  carry_.assign(text.data() + rest, length - rest);
  return found;
}

bool Chunker::next(RecordChunk& chunk) {
  std::vector<char>& text = chunk.text;
  std::size_t length = carry_.size();
  if (text.size() < length + padding) text.resize(length + padding);
  std::memcpy(text.data(), carry_.data(), carry_.size());
  carry_.clear();
  for (;;) {
    readMore(text, length, std::max(blockSize_, length));
    // Unless the input has ended, a token that reaches the end of the text may go on.
    bool open = !ended_ && length > 0 && !isSpace(text[length - 1]);
    std::size_t tokens = countTokens(text.data(), length);
    std::uint64_t records = (tokens - (open ? 1 : 0)) / 3;
    if (records == 0) {
      if (ended_) {
        leftover_ = tokens;
        chunk.length = 0;
        chunk.records = 0;
        return false;
      }
      length = compactTokens(text.data(), length);
      continue;
    }
    std::size_t cut = lastTokensStart(text.data(), length, tokens - std::size_t(records) * 3);
    carry_.assign(text.data() + cut, length - cut);
    carry_.resize(compactTokens(carry_.data(), carry_.size()));
    std::memset(text.data() + cut, 0, padding);
    chunk.length = cut;
    chunk.firstRecord = recordsSoFar_;
    chunk.records = records;
    recordsSoFar_ += records;
    return true;
  }
}

}  // namespace meshtext
