// Cutting mesh text into blocks of whole records that can be converted side by side. Reading a
// block is the only step taken in turn; a block's tokens are found by whoever converts it, and
// blocks are chained by what each carries on to the next: a count of records and the start of a
// record the two share. Memory stays within a few blocks whatever the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

#include "meshtext/index.h"
#include "meshtext/records.h"

namespace meshtext {

// Receives a record longer than a block, piece by piece as the blocks holding it are cut.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // The next piece of token `token` (0 to 2) of record `record` (records before it in the
  // input); `last` when the token ends with it. The text lies in the block being cut.
  virtual void piece(std::uint64_t record, std::size_t token, std::string_view text, bool last) = 0;
};

// What one block hands on to the next.
struct Carry {
  std::uint64_t records = 0;  // whole records before the next block
  // The tokens of a record that the next block completes, joined by single spaces and ending in
  // one unless the last token may go on.
  std::string text;
  bool streaming = false;    // the record is longer than a block: it goes to a RecordSink
  std::size_t streamed = 0;  // when streaming, its tokens handed out whole so far
  bool inToken = false;      // when streaming, the last piece ended inside a token
  bool ended = false;        // the input has ended: nothing follows
  std::size_t leftover = 0;  // when ended, the tokens of an incomplete last record
};

// The whole records that a block's cut gives: their tokens start at starts[0, 3 * records) of
// the block's text.
struct Chunk {
  std::uint64_t firstRecord = 0;
  std::uint64_t records = 0;
  const std::uint32_t* starts = nullptr;
};

// One block of the input: read in turn by a BlockReader, then indexed and cut on any thread.
// Its text has room before the bytes read for the start of a record carried from the block
// before, so that a record spanning the two is one run of text; it meets the padding contract
// (meshtext/text.h).
class Block {
 public:
  // How far past its end the text may be read: a record's echo is copied in fixed-size moves.
  static constexpr std::size_t readable = 64;

  explicit Block(std::size_t blockSize);

  // Finds where the tokens read start.
  void index(Simd simd = bestSimd()) noexcept;

  // Cuts the block, given what the block before carried, into whole records, and fills `out`
  // for the next block. The pieces of a record longer than a block that `in` was streaming go to
  // `sink` now; should the block end with the start of another one, streamTail() hands it out.
  // Call after index().
  Chunk cut(const Carry& in, Carry& out, RecordSink& sink);

  // After a cut that left out.streaming with nothing streamed yet: hands the start of that
  // record, the block's last tokens, to `sink` and completes `out`.
  void streamTail(Carry& out, RecordSink& sink);
  bool tailStreams() const noexcept { return tail_ != noTail; }

  // The text the chunk's starts point into, up to the end of the bytes read.
  const char* text() const noexcept { return bytes_.get(); }
  std::size_t length() const noexcept { return room_ + size_; }

  // True for the block that says the input has ended: it holds no bytes.
  bool last() const noexcept { return last_; }

 private:
  friend class BlockReader;
  static constexpr std::size_t noTail = ~std::size_t{0};

  char* data() noexcept { return bytes_.get() + room_; }
  void seal(std::size_t size) noexcept;
  std::size_t placeCarried(const Carry& in);
  std::size_t finishStreamed(const Carry& in, Carry& out, RecordSink& sink);

  std::size_t room_;                         // before the bytes read: the largest carried text
  std::unique_ptr<char[]> bytes_;            // not zeroed: a small input touches little of it
  std::unique_ptr<std::uint32_t[]> starts_;  // three for carried tokens, then those read
  std::size_t size_ = 0;                     // bytes read
  std::size_t count_ = 0;                    // tokens that start in them
  bool afterSpace_ = true;                   // the byte before them is whitespace
  bool last_ = false;
  std::size_t tail_ = noTail;  // where a tail to be streamed starts
  std::uint64_t tailRecord_ = 0;
};

// Reads a mesh text stream once, in blocks: first the two counts, then blocks of the rest.
class BlockReader {
 public:
  // A block's text, index, echo and records stay within a core's second-level cache. Measured
  // side by side against 256 KiB: the same time on a 138 MB mesh, 9% and 18% less on meshes of
  // 14 MB and 1 MB, and a third less memory.
  static constexpr std::size_t defaultBlockSize = std::size_t{1} << 17;

  // Reads with sgetn; the end of the input is where sgetn first returns nothing.
  explicit BlockReader(std::streambuf& input, std::size_t blockSize = defaultBlockSize);

  // Reads vertexCount then faceCount, however long they are, before any block; returns the
  // tokens found (2 when both were there). Without this call, records start at the first token.
  std::size_t readCounts(Counts& counts);

  // Reads the next block into `block`, made with this reader's block size. After the last
  // bytes, gives one block that says the input has ended, then returns false.
  bool next(Block& block);

  std::size_t blockSize() const noexcept { return blockSize_; }

 private:
  std::streambuf& input_;
  std::size_t blockSize_;
  std::unique_ptr<char[]> pending_;  // what followed the counts in the block they were read from
  std::string_view pendingText_;
  bool lastSpace_ = true;  // the last byte read is whitespace
  bool ended_ = false;     // sgetn has returned nothing
  bool finished_ = false;  // and the block that says so was given
};

}  // namespace meshtext
