#include "meshtext/chunker.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "meshtext/summary.h"
#include "meshtext/text.h"

namespace meshtext {
namespace {

// A block's offsets, the room for carried text included, are 32-bit.
constexpr std::size_t largestBlock = std::size_t{1} << 30;

// Walks `text`, which begins inside a token when `inToken`, handing each piece of a token to
// `emit(token, piece, last)` until `wanted` tokens have ended (`found` counts them); returns
// where it stopped: at the whitespace after the last token that ended, or at the end.
template <typename Emit>
std::size_t handOut(std::string_view text, std::size_t wanted, std::size_t& found, bool& inToken,
                    Emit&& emit) {
  std::size_t pos = 0;
  while (found < wanted) {
    if (!inToken) {
      while (pos < text.size() && isSpace(text[pos])) ++pos;
      if (pos == text.size()) break;
      inToken = true;
    }
    const std::size_t start = pos;
    while (pos < text.size() && !isSpace(text[pos])) ++pos;
    const bool ends = pos < text.size();
    emit(found, text.substr(start, pos - start), ends);
    if (!ends) break;
    inToken = false;
    ++found;
  }
  return pos;
}

// Rewrites text[0, length) in place as its tokens joined by single spaces, ending in a space when
// it did: the tokens stay as they were, and a run of whitespace costs no memory. Returns the new
// length.
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

Block::Block(std::size_t blockSize)
    : room_(blockSize),
      bytes_(new char[2 * blockSize + std::max(readable, textPadding)]),
      starts_(new std::uint32_t[3 + indexCapacity(blockSize)]) {
  seal(0);
}

void Block::seal(std::size_t size) noexcept {
  size_ = size;
  count_ = 0;
  std::memset(data() + size, 0, textPadding);
}

void Block::index(Simd simd) noexcept {
  count_ = indexTokens(data(), size_, afterSpace_, starts_.get() + 3, simd, std::uint32_t(room_));
}

// Puts the carried text just before the bytes read and its tokens' starts before theirs;
// returns how many tokens it holds.
std::size_t Block::placeCarried(const Carry& in) {
  const std::size_t size = in.text.size();
  assert(size <= room_);
  char* text = data() - size;
  std::memcpy(text, in.text.data(), size);
  std::uint32_t found[3];
  std::size_t count = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] != ' ' && (i == 0 || text[i - 1] == ' ')) {
      assert(count < 3);  // the start of one record
      found[count++] = std::uint32_t(room_ - size + i);
    }
  }
  std::copy(found, found + count, starts_.get() + 3 - count);
  return count;
}

// Hands the rest of the record that `in` was streaming, from the start of the bytes read, to
// `sink`. Returns where it ends, just past its last token; noTail when the record goes on past
// this block or ends incomplete with the input, and `out` says then how far it got.
std::size_t Block::finishStreamed(const Carry& in, Carry& out, RecordSink& sink) {
  std::size_t found = in.streamed;
  bool inToken = in.inToken;
  const auto emit = [&](std::size_t token, std::string_view piece, bool ends) {
    sink.piece(in.records, token, piece, ends);
  };
  const std::size_t end = handOut({data(), size_}, 3, found, inToken, emit);
  if (last_ && inToken) {
    emit(found++, {}, true);  // the input ends the token
    inToken = false;
  }
  if (found == 3) return end;
  out.streaming = !last_;
  out.streamed = found;
  out.inToken = inToken;
  out.ended = last_;
  out.leftover = last_ ? found : 0;
  return noTail;
}

Chunk Block::cut(const Carry& in, Carry& out, RecordSink& sink) {
  out = Carry{};
  out.records = in.records;
  tail_ = noTail;
  const std::uint32_t* starts = starts_.get() + 3;
  std::size_t count = count_;
  if (in.streaming) {
    // The rest of a record too long to hold comes first.
    const std::size_t end = finishStreamed(in, out, sink);
    if (end == noTail) return {out.records, 0, starts};
    ++out.records;
    const std::size_t skipped =
        std::size_t(std::lower_bound(starts, starts + count, std::uint32_t(room_ + end)) - starts);
    starts += skipped;
    count -= skipped;
  } else if (!in.text.empty()) {
    const std::size_t carried = placeCarried(in);
    starts -= carried;
    count += carried;
  }
  // Unless the input has ended, a token that reaches the end of the bytes read may go on.
  const bool open = !last_ && size_ > 0 && !isSpace(data()[size_ - 1]);
  const std::uint64_t records = (count - (open ? 1 : 0)) / 3;
  const std::size_t tail = count - std::size_t(records) * 3;
  const Chunk chunk{out.records, records, starts};
  out.records += records;
  if (last_) {
    out.ended = true;
    out.leftover = tail;
  } else if (tail > 0) {
    const std::size_t from = starts[3 * records];
    out.text.assign(text() + from, length() - from);
    out.text.resize(compactTokens(out.text.data(), out.text.size()));
    if (out.text.size() > room_) {
      // A record longer than a block is handed out in pieces, never held.
      out.text.clear();
      out.streaming = true;
      tail_ = from;
      tailRecord_ = out.records;
    }
  }
  return chunk;
}

void Block::streamTail(Carry& out, RecordSink& sink) {
  if (tail_ == noTail) return;
  handOut({text() + tail_, length() - tail_}, 3, out.streamed, out.inToken,
          [&](std::size_t token, std::string_view piece, bool ends) {
            sink.piece(tailRecord_, token, piece, ends);
          });
  tail_ = noTail;
}

BlockReader::BlockReader(std::streambuf& input, std::size_t blockSize)
    : input_(input), blockSize_(std::min(std::max<std::size_t>(blockSize, 1), largestBlock)) {}

std::size_t BlockReader::readCounts(Counts& counts) {
  IntegerSummary values[2];
  std::size_t found = 0;
  bool inToken = false;
  const auto emit = [&](std::size_t token, std::string_view piece, bool) {
    values[token].add(piece);
  };
  pending_.reset(new char[blockSize_]);
  while (found < 2) {
    const std::streamsize got =
        ended_ ? 0 : input_.sgetn(pending_.get(), std::streamsize(blockSize_));
    if (got <= 0) {
      ended_ = true;
      pendingText_ = {};
      if (inToken) emit(found++, {}, true);  // the input ends the token
      break;
    }
    const std::string_view text(pending_.get(), std::size_t(got));
    pendingText_ = text.substr(handOut(text, 2, found, inToken, emit));
  }
  counts.vertexCount = found > 0 ? values[0].value() : 0;
  counts.faceCount = found > 1 ? values[1].value() : 0;
  return found;
}

bool BlockReader::next(Block& block) {
  if (finished_) return false;
  block.afterSpace_ = lastSpace_;
  std::size_t size = 0;
  if (!pendingText_.empty()) {
    size = pendingText_.size();
    std::memcpy(block.data(), pendingText_.data(), size);
    pendingText_ = {};
  } else if (!ended_) {
    const std::streamsize got = input_.sgetn(block.data(), std::streamsize(blockSize_));
    if (got > 0) size = std::size_t(got);
  }
  pending_.reset();
  block.seal(size);
  block.last_ = size == 0;
  if (size == 0) {
    ended_ = finished_ = true;
  } else {
    lastSpace_ = isSpace(block.data()[size - 1]);
  }
  return true;
}

}  // namespace meshtext
