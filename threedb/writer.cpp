#include "threedb/writer.h"

#include <cstring>

namespace threedb {

Writer::Writer(std::streambuf& output, std::size_t blockSize)
    : output_(output), block_(blockSize < faceRecordSize * 3 ? 64 : blockSize) {}

void Writer::drain() {
  if (!failed_ && used_ > 0) {
    std::streamsize put =
        output_.sputn(reinterpret_cast<const char*>(block_.data()), std::streamsize(used_));
    failed_ = put != std::streamsize(used_);
  }
  used_ = 0;
}

template <std::size_t N>
void Writer::append(const std::array<unsigned char, N>& bytes) {
  if (failed_) return;
  if (block_.size() - used_ < N) drain();
  std::memcpy(block_.data() + used_, bytes.data(), N);
  used_ += N;
  written_ += N;
}

void Writer::writeHeader(std::int32_t vertexCount, std::int32_t faceCount) {
  append(encodeHeader(vertexCount, faceCount));
}

void Writer::writeVertex(float x, float y, float z) { append(encodeVertex(x, y, z)); }

void Writer::writeFace(std::uint16_t a, std::uint16_t b, std::uint16_t c) {
  append(encodeFace(a, b, c));
}

bool Writer::flush() {
  drain();
  if (!failed_ && output_.pubsync() != 0) failed_ = true;
  return !failed_;
}

}  // namespace threedb
