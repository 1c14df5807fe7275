// Writing a 3DB file to a stream, record by record, in one pass and without seeking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <streambuf>
#include <vector>

#include "threedb/format.h"

namespace threedb {

// Appends 3DB records to `output`, gathering them into blocks so that the stream sees few large
// writes. A write that the stream does not take in full marks the writer failed; from then on
// nothing more is written. Call flush() at the end: the destructor does not.
class Writer {
 public:
  static constexpr std::size_t defaultBlockSize = std::size_t{1} << 16;

  explicit Writer(std::streambuf& output, std::size_t blockSize = defaultBlockSize);

  void writeHeader(std::int32_t vertexCount, std::int32_t faceCount) {
    append(encodeHeader(vertexCount, faceCount));
  }
  void writeVertex(float x, float y, float z) {
    append(encodeVertex(floatBits(x), floatBits(y), floatBits(z)));
  }
  void writeFace(std::uint16_t a, std::uint16_t b, std::uint16_t c) { append(encodeFace(a, b, c)); }

  // Hands every gathered byte to the stream and syncs it; false if any write so far failed.
  bool flush();

  // True once a write to the stream has failed.
  bool failed() const noexcept { return failed_; }

  // Bytes taken by the writer so far, whether or not they reached the stream yet.
  std::uint64_t bytesWritten() const noexcept { return written_; }

 private:
  template <std::size_t N>
  void append(const std::array<unsigned char, N>& bytes) {
    if (failed_) return;
    if (block_.size() - used_ < N) drain();
    std::memcpy(block_.data() + used_, bytes.data(), N);
    used_ += N;
    written_ += N;
  }
  void drain();

  std::streambuf& output_;
  std::vector<unsigned char> block_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  bool failed_ = false;
};

}  // namespace threedb
