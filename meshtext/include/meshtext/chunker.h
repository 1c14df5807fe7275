// Cutting mesh text into chunks of whole records, so that chunks can be converted side by side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

#include "meshtext/reader.h"

namespace meshtext {

// A run of whole records (three tokens each: vertices first, then faces) in a padded buffer that
// a Reader reads in place.
struct RecordChunk {
  std::vector<char> text;         // the records' text, then a NUL and padding
  std::size_t length = 0;         // bytes of the records' text
  std::uint64_t firstRecord = 0;  // records of the input before this chunk
  std::uint64_t records = 0;      // records in this chunk

  Reader reader() const { return Reader(text.data(), length); }
};

// Reads a mesh text stream once, `blockSize` bytes at a time: first the two counts, then chunks
// of whole records. An incomplete record at the end of a block goes with the next chunk; only
// its tokens are kept, so memory stays bounded by the block and the record's own length.
class Chunker {
 public:
  static constexpr std::size_t defaultBlockSize = std::size_t{1} << 18;

  // Reads with sgetn; the end of the input is where sgetn first returns nothing.
  explicit Chunker(std::streambuf& input, std::size_t blockSize = defaultBlockSize);

  // Reads vertexCount then faceCount, once, before any chunk; returns the tokens found (2 when
  // both were there), as Reader::readCounts does.
  std::size_t readCounts(Counts& counts);

  // Fills `chunk` with the next records; false, with no record, at the end of the input.
  bool next(RecordChunk& chunk);

  // After next() has returned false: the tokens of the incomplete record that ended the input.
  std::size_t leftoverTokens() const noexcept { return leftover_; }

 private:
  bool readMore(std::vector<char>& text, std::size_t& length, std::size_t wanted);

  std::streambuf& input_;
  std::size_t blockSize_;
  std::string carry_;  // the start of the next record
  std::uint64_t recordsSoFar_ = 0;
  std::size_t leftover_ = 0;
  bool ended_ = false;
};

}  // namespace meshtext
