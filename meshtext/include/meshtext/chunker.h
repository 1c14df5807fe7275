// Cutting mesh text into chunks of whole records, so that chunks can be converted side by side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

#include "meshtext/index.h"
#include "meshtext/scanner.h"
#include "meshtext/text.h"

namespace meshtext {

// A run of whole records (three tokens each: vertices first, then faces), padded for a Scanner;
// or a single record too long to hold, which Chunker::streamRecord reads in pieces.
struct RecordChunk {
  PaddedText text;                // the records' tokens, as they stood in the input
  std::uint64_t firstRecord = 0;  // records of the input before this chunk
  std::uint64_t records = 0;      // records in this chunk
  std::size_t tailTokens = 0;     // tokens after the records: only in the last chunk, 0 to 2
  bool streamed = false;          // a record longer than a block: its text is not in the chunk

  Scanner scanner() const noexcept { return Scanner(text); }
};

// Receives the tokens of a record that is read in pieces.
class TokenSink {
 public:
  virtual ~TokenSink() = default;
  // The next piece of the record's token `token` (0 to 2); `last` when the token ends with it.
  virtual void piece(std::size_t token, std::string_view text, bool last) = 0;
};

// Reads a mesh text stream once, `blockSize` bytes at a time: first the two counts, if asked,
// then chunks of whole records. An incomplete record at the end of a block goes with the next
// chunk; only its tokens are kept. A record longer than a block is never held: it is given as a
// streamed chunk, to be read in pieces. Memory stays within a few blocks whatever the input.
class Chunker {
 public:
  static constexpr std::size_t defaultBlockSize = std::size_t{1} << 18;

  // Reads with sgetn; the end of the input is where sgetn first returns nothing.
  explicit Chunker(std::streambuf& input, std::size_t blockSize = defaultBlockSize,
                   Simd simd = bestSimd());

  // Reads vertexCount then faceCount, before any chunk, in pieces however long they are;
  // returns the tokens found (2 when both were there). Without this call, records start at the
  // first token.
  std::size_t readCounts(Counts& counts);

  // Fills `chunk` with the next records. At the end of the input returns false, with the tokens
  // of an incomplete last record, if any, as the chunk's tail and no record. After a streamed
  // chunk, call streamRecord() before anything else.
  bool next(RecordChunk& chunk);

  // Reads the record of a streamed chunk, handing its tokens to `sink` piece by piece as they are
  // read. Returns the tokens found: 3, or fewer when the input ends inside the record (it is then
  // the last, and leftoverTokens() says the same).
  std::size_t streamRecord(TokenSink& sink);

  // After next() has returned false: the tokens of the incomplete record that ended the input.
  std::size_t leftoverTokens() const noexcept { return leftover_; }

 private:
  void startWithCarry(PaddedText& text, std::size_t& length);
  bool readMore(PaddedText& text, std::size_t& length, std::size_t wanted);
  std::size_t streamTokens(std::size_t count, TokenSink& sink);

  std::streambuf& input_;
  std::size_t blockSize_;
  Simd simd_;
  std::string carry_;                    // the start of the next record
  std::unique_ptr<char[]> streamBlock_;  // what streamTokens reads into, made when first needed
  std::uint64_t recordsSoFar_ = 0;
  std::size_t leftover_ = 0;
  bool ended_ = false;     // the input has ended
  bool finished_ = false;  // and the last chunk has been given
};

}  // namespace meshtext
