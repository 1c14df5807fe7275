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

bool Writer::flush() {
  drain();
  if (!failed_ && output_.pubsync() != 0) failed_ = true;
  return !failed_;
}

}  // namespace threedb
