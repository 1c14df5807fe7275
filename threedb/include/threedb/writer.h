// Writing a 3DB file to a stream, record by record or in batches of encoded records, in one pass
// and without seeking.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <streambuf>

#include "threedb/format.h"

namespace threedb {

// Records encoded in memory, vertices and faces in any order the caller keeps, to be handed to a
// Writer in one piece: the way to encode records on several threads and write them in order.
class EncodedRecords {
 public:
  // Room for `records` more records of either kind, so that adding them never reallocates.
  void reserve(std::size_t records);

  // Appends a record; requires the room that reserve() made.
  void addVertex(std::uint32_t xBits, std::uint32_t yBits, std::uint32_t zBits) noexcept {
    put(encodeVertex(xBits, yBits, zBits));
  }
  void addFace(std::uint16_t a, std::uint16_t b, std::uint16_t c) noexcept {
    put(encodeFace(a, b, c));
  }

  // Appends `count` vertices, the bits of each one's x, y and z in turn at `bits`; or `count`
  // faces, each one's three indices in turn at `indices`, stored modulo 65536. Require the room
  // that reserve() made.
  void addVertices(const std::uint32_t* bits, std::size_t count) noexcept;
  void addFaces(const std::int32_t* indices, std::size_t count) noexcept;

  void clear() noexcept { used_ = 0; }
  const unsigned char* data() const noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return used_; }

 private:
  template <std::size_t N>
  void put(const std::array<unsigned char, N>& bytes) noexcept {
    std::memcpy(bytes_.get() + used_, bytes.data(), N);
    used_ += N;
  }

  // Not zeroed: room reserved for the larger kind of record is touched only as far as used.
  std::unique_ptr<unsigned char[]> bytes_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
};

// Appends 3DB records to `output`, gathering single records in a buffer so that the stream sees
// few large writes. A write that the stream does not take in full marks the writer failed; from
// then on nothing more is written. Call flush() at the end: the destructor does not.
class Writer {
 public:
  static constexpr std::size_t defaultBufferSize = std::size_t{1} << 16;

  explicit Writer(std::streambuf& output, std::size_t bufferSize = defaultBufferSize);

  void writeHeader(std::int32_t vertexCount, std::int32_t faceCount) {
    append(encodeHeader(vertexCount, faceCount));
  }
  void writeVertex(float x, float y, float z) {
    append(encodeVertex(floatBits(x), floatBits(y), floatBits(z)));
  }
  // The coordinates as their binary32 bits, so that every NaN payload is kept exactly.
  void writeVertexBits(std::uint32_t xBits, std::uint32_t yBits, std::uint32_t zBits,
                       std::uint32_t colour = vertexColour) {
    append(encodeVertex(xBits, yBits, zBits, colour));
  }
  void writeFace(std::uint16_t a, std::uint16_t b, std::uint16_t c) { append(encodeFace(a, b, c)); }

  // Writes the records of `records` after everything written so far.
  void writeRecords(const EncodedRecords& records);

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
    if (bufferSize_ - used_ < N) drain();
    std::memcpy(buffer_.get() + used_, bytes.data(), N);
    used_ += N;
    written_ += N;
  }
  void drain();
  void put(const unsigned char* bytes, std::size_t size);

  std::streambuf& output_;
  std::size_t bufferSize_;
  std::unique_ptr<unsigned char[]> buffer_;  // not zeroed: a small file touches little of it
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  bool failed_ = false;
};

}  // namespace threedb
