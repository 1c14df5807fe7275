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
#include <variant>

#include "meshtext/index.h"
#include "meshtext/mesh.h"
#include "meshtext/text.h"

namespace meshtext {

// Receives a record longer than a block, piece by piece as the blocks holding it are cut.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // The next piece of token `token` (0 to 2) of record `record` (records before it in the
  // input); `last` when the token ends with it. The text lies in the block being cut.
  virtual void piece(std::uint64_t record, std::size_t token, std::string_view text, bool last) = 0;
};

// What one block hands on to the next: the whole records before the next block, and the state the
// input is in where the block ends.
struct Carry {
  // Between records, or inside one that the next block completes: its tokens so far, joined by
  // single spaces and ending in one unless the last token may go on (empty between records).
  struct Text {
    std::string tokens;
  };
  // Inside a record longer than a block, which goes to a RecordSink piece by piece.
  struct Streaming {
    std::size_t tokensDone = 0;  // its tokens handed out whole so far
    bool inToken = false;        // the last piece ended inside a token
  };
  // The input has ended: nothing follows.
  struct Ended {
    std::size_t leftover = 0;  // the tokens of an incomplete last record
  };

  std::uint64_t records = 0;
  std::variant<Text, Streaming, Ended> state;
};

class Block;

// The whole records that a block's cut gives: their tokens start at starts[0, 3 * records) of
// the block's text. In the block that ends the input, the tokens of an incomplete last record
// that did not stream by follow, at starts[3 * records, 3 * records + leftover).
struct Chunk {
  std::uint64_t firstRecord = 0;
  std::uint64_t records = 0;
  const std::uint32_t* starts = nullptr;
  std::size_t leftover = 0;
};

// What cutIntoRecords hands a block's parts to, in the order of the input.
class BlockConsumer : public RecordSink {
 public:
  // Waits for what the block before carried on; false stops the block's steps (the run stopped).
  virtual bool receive(Carry& carried) = 0;
  // The input ended inside streamed record `record`, after the pieces handed out: it stays
  // incomplete.
  virtual void unfinished(std::uint64_t record) = 0;
  // What the block carries on to the next, handed on as soon as it is known.
  virtual void handOn(Carry&& carry) = 0;
  // The block's whole records.
  virtual void records(const Block& block, const Chunk& chunk) = 0;
};

// One block of the input: read in turn by a BlockReader, then taken apart by cutIntoRecords on
// any thread. Its text has room before the bytes read for the start of a record carried from the
// block before, so that a record spanning the two is one run of text; it meets the padding
// contract (meshtext/text.h).
class Block {
 public:
  // A block for a BlockReader of `blockSize`, whose text may be read `readable` bytes past its end
  // (at least textPadding).
  explicit Block(std::size_t blockSize, std::size_t readable = textPadding);

  // The text the chunk's starts point into, up to the end of the bytes read.
  const char* text() const noexcept { return bytes_.get(); }
  std::size_t length() const noexcept { return room_ + size_; }

  // True for the block that says the input has ended: it holds no bytes.
  bool last() const noexcept { return last_; }

 private:
  friend class BlockReader;
  friend bool cutIntoRecords(Block& block, BlockConsumer& consumer, Simd simd);
  static constexpr std::size_t noTail = ~std::size_t{0};

  char* data() noexcept { return bytes_.get() + room_; }
  void seal(std::size_t size) noexcept;
  void index(Simd simd) noexcept;
  Chunk cut(const Carry& in, Carry& out, RecordSink& sink);
  std::size_t placeCarried(const std::string& tokens);
  std::size_t finishStreamed(const Carry::Streaming& in, std::uint64_t record, Carry& out,
                             RecordSink& sink);
  Chunk cutWhole(const std::uint32_t* starts, std::size_t count, Carry& out);
  void keepTail(std::size_t from, Carry& out);
  void streamTail(Carry& out, RecordSink& sink);

  std::size_t room_;                         // before the bytes read: the largest carried text
  std::unique_ptr<char[]> bytes_;            // not zeroed: a small input touches little of it
  std::unique_ptr<std::uint32_t[]> starts_;  // three for carried tokens, then those read
  std::size_t size_ = 0;                     // bytes read
  std::size_t count_ = 0;                    // tokens that start in them
  bool afterSpace_ = true;                   // the byte before them is whitespace
  bool last_ = false;
  std::size_t tail_ = noTail;  // where the start of a record longer than a block lies
  std::uint64_t tailRecord_ = 0;
};

// The one way through a block just read by BlockReader::next: finds its tokens, receives what
// the block before carried, cuts it, and hands `consumer` its parts in the order of the input:
// the rest of a record streamed from the block before, the carry for the next block (as soon as
// it is known), the whole records, then the start of a record longer than a block, after which
// the carry is handed on. Returns false when consumer.receive did.
bool cutIntoRecords(Block& block, BlockConsumer& consumer, Simd simd = bestSimd());

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
