#include "threedb/writer.h"

namespace threedb {

void EncodedRecords::reserve(std::size_t records) {
  const std::size_t wanted = used_ + records * vertexRecordSize;
  if (wanted <= capacity_) return;
  std::unique_ptr<unsigned char[]> grown(new unsigned char[wanted]);
  if (used_ > 0) std::memcpy(grown.get(), bytes_.get(), used_);
  bytes_ = std::move(grown);
  capacity_ = wanted;
}

// The records are stored through a local cursor, so that each record does not wait for the store
// of the one before it to learn where it goes, and field by field, which the compiler merges into
// whole-word stores where the host is little-endian.
void EncodedRecords::addVertices(const std::uint32_t* bits, std::size_t count) noexcept {
  unsigned char* out = bytes_.get() + used_;
  for (std::size_t i = 0; i < count; ++i, bits += 3, out += vertexRecordSize) {
    storeLittle32(out, vertexColour);
    storeLittle32(out + 4, bits[0]);
    storeLittle32(out + 8, bits[1]);
    storeLittle32(out + 12, bits[2]);
  }
  used_ += count * vertexRecordSize;
}

void EncodedRecords::addFaces(const std::int32_t* indices, std::size_t count) noexcept {
  unsigned char* out = bytes_.get() + used_;
  for (std::size_t i = 0; i < count; ++i, indices += 3, out += faceRecordSize) {
    storeLittle16(out, std::uint16_t(indices[0]));
    storeLittle16(out + 2, std::uint16_t(indices[1]));
    storeLittle16(out + 4, std::uint16_t(indices[2]));
  }
  used_ += count * faceRecordSize;
}

Writer::Writer(std::streambuf& output, std::size_t bufferSize)
    // Room for the largest record at least, so that a record never has to be split.
    : output_(output),
      bufferSize_(bufferSize < vertexRecordSize ? vertexRecordSize : bufferSize),
      buffer_(new unsigned char[bufferSize_]) {}

void Writer::put(const unsigned char* bytes, std::size_t size) {
  if (failed_ || size == 0) return;
  std::streamsize taken =
      output_.sputn(reinterpret_cast<const char*>(bytes), std::streamsize(size));
  failed_ = taken != std::streamsize(size);
}

void Writer::drain() {
  put(buffer_.get(), used_);
  used_ = 0;
}

void Writer::writeRecords(const EncodedRecords& records) {
  drain();
  put(records.data(), records.size());
  if (!failed_) written_ += records.size();
}

bool Writer::flush() {
  drain();
  if (!failed_ && output_.pubsync() != 0) failed_ = true;
  return !failed_;
}

}  // namespace threedb
