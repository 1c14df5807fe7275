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

Block::Block(std::size_t blockSize, std::size_t readable)
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
std::size_t Block::placeCarried(const std::string& tokens) {
  const std::size_t size = tokens.size();
  assert(size <= room_);
  char* text = data() - size;
  std::memcpy(text, tokens.data(), size);
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

// Hands the rest of streamed record `record`, from the start of the bytes read, to `sink`.
// Returns where it ends, just past its last token; noTail when the record goes on past this
// block or ends incomplete with the input, and `out` says then how far it got.
std::size_t Block::finishStreamed(const Carry::Streaming& in, std::uint64_t record, Carry& out,
                                  RecordSink& sink) {
  std::size_t found = in.tokensDone;
  bool inToken = in.inToken;
  const auto emit = [&](std::size_t token, std::string_view piece, bool ends) {
    sink.piece(record, token, piece, ends);
  };
  const std::size_t end = handOut({data(), size_}, 3, found, inToken, emit);
  if (last_ && inToken) {
    emit(found++, {}, true);  // the input ends the token
    inToken = false;
  }
  if (found == 3) return end;
  if (last_)
    out.state = Carry::Ended{found};
  else
    out.state = Carry::Streaming{found, inToken};
  return noTail;
}

// The start of a record that the next block completes, from text offset `from` on: carried as
// text, or, when longer than a block, left to streamTail.
void Block::keepTail(std::size_t from, Carry& out) {
  std::string tokens(text() + from, length() - from);
  tokens.resize(compactTokens(tokens.data(), tokens.size()));
  if (tokens.size() <= room_) {
    out.state = Carry::Text{std::move(tokens)};
    return;
  }
  // A record longer than a block is handed out in pieces, never held.
  out.state = Carry::Streaming{};
  tail_ = from;
  tailRecord_ = out.records;
}

// The whole records among the `count` tokens at `starts`; what is left goes to `out`.
Chunk Block::cutWhole(const std::uint32_t* starts, std::size_t count, Carry& out) {
  // Unless the input has ended, a token that reaches the end of the bytes read may go on.
  const bool open = !last_ && size_ > 0 && !isSpace(data()[size_ - 1]);
  const std::uint64_t records = (count - (open ? 1 : 0)) / 3;
  const std::size_t tail = count - std::size_t(records) * 3;
  Chunk chunk{out.records, records, starts, 0};
  out.records += records;
  if (last_) {
    chunk.leftover = tail;
    out.state = Carry::Ended{tail};
  } else if (tail > 0) {
    keepTail(starts[3 * records], out);
  }
  return chunk;
}

Chunk Block::cut(const Carry& in, Carry& out, RecordSink& sink) {
  out = Carry{in.records, Carry::Text{}};
  tail_ = noTail;
  const std::uint32_t* starts = starts_.get() + 3;
  std::size_t count = count_;
  if (const auto* streaming = std::get_if<Carry::Streaming>(&in.state)) {
    // The rest of a record too long to hold comes first.
    const std::size_t end = finishStreamed(*streaming, in.records, out, sink);
    if (end == noTail) return {out.records, 0, starts, 0};
    ++out.records;
    const std::size_t skipped =
        std::size_t(std::lower_bound(starts, starts + count, std::uint32_t(room_ + end)) - starts);
    starts += skipped;
    count -= skipped;
  } else if (const auto* carried = std::get_if<Carry::Text>(&in.state)) {
    const std::size_t placed = placeCarried(carried->tokens);
    starts -= placed;
    count += placed;
  }
  return cutWhole(starts, count, out);
}

// Hands the start of a record longer than a block, the block's last tokens, to `sink`.
void Block::streamTail(Carry& out, RecordSink& sink) {
  auto& streaming = std::get<Carry::Streaming>(out.state);
  handOut({text() + tail_, length() - tail_}, 3, streaming.tokensDone, streaming.inToken,
          [&](std::size_t token, std::string_view piece, bool ends) {
            sink.piece(tailRecord_, token, piece, ends);
          });
  tail_ = noTail;
}

bool cutIntoRecords(Block& block, BlockConsumer& consumer, Simd simd) {
  block.index(simd);  // before the wait: only the cut needs the block before
  Carry in;
  if (!consumer.receive(in)) return false;
  Carry out;
  const Chunk chunk = block.cut(in, out, consumer);
  if (std::holds_alternative<Carry::Streaming>(in.state)) {
    const auto* ended = std::get_if<Carry::Ended>(&out.state);
    if (ended && ended->leftover > 0) consumer.unfinished(in.records);
  }
  // A record that starts at the block's end and streams follows the block's records, so the
  // next block may go on with it only once they are handed out.
  const bool tailStreams = block.tail_ != Block::noTail;
  if (!tailStreams) consumer.handOn(std::move(out));
  consumer.records(block, chunk);
  if (tailStreams) {
    block.streamTail(out, consumer);
    consumer.handOn(std::move(out));
  }
  return true;
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
