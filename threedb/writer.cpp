#include "threedb/writer.h"

namespace threedb {

void RecordBlock::reserve(std::size_t records) {
  const std::size_t wanted = used_ + records * vertexRecordSize;
  if (wanted <= capacity_) return;
  std::unique_ptr<unsigned char[]> grown(new unsigned char[wanted]);
  if (used_ > 0) std::memcpy(grown.get(), bytes_.get(), used_);
  bytes_ = std::move(grown);
  capacity_ = wanted;
}

Writer::Writer(std::streambuf& output, std::size_t blockSize)
    // Room for the largest record at least, so that a record never has to be split.
    : output_(output),
      blockSize_(blockSize < vertexRecordSize ? vertexRecordSize : blockSize),
      block_(new unsigned char[blockSize_]) {}

void Writer::put(const unsigned char* bytes, std::size_t size) {
  if (failed_ || size == 0) return;
  std::streamsize taken =
      output_.sputn(reinterpret_cast<const char*>(bytes), std::streamsize(size));
  failed_ = taken != std::streamsize(size);
}

void Writer::drain() {
  put(block_.get(), used_);
  used_ = 0;
}

void Writer::writeBlock(const RecordBlock& block) {
  drain();
  put(block.data(), block.size());
  if (!failed_) written_ += block.size();
}

bool Writer::flush() {
  drain();
  if (!failed_ && output_.pubsync() != 0) failed_ = true;
  return !failed_;
}

}  // namespace threedb
