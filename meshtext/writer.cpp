#include "meshtext/writer.h"

#include <cstdio>
#include <cstring>

namespace meshtext {

// Nine significant digits survive both roundings on the way back (to double, then to float) for
// every finite float; infinities and NaNs are spelled the way the reader takes them.
std::string coordinateText(std::uint32_t bits) {
  const char* sign = bits >> 31 ? "-" : "";
  std::uint32_t fraction = bits & 0x7FFFFFu;
  if ((bits & 0x7F800000u) == 0x7F800000u) {
    if (fraction == 0) return std::string(sign) + "inf";
    // The payload below the quiet bit comes back through the double's top fraction bits.
    char text[40];
    std::snprintf(text, sizeof text, "%snan(0x%llx)", sign,
                  static_cast<unsigned long long>(fraction & 0x3FFFFFu) << 29);
    return text;
  }
  float value;
  std::memcpy(&value, &bits, sizeof value);
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", double(value));
  return text;
}

Writer::Writer(std::streambuf& output) : output_(output) { pending_.reserve(drainAt); }

void Writer::line(const std::string& a, const std::string& b, const std::string& c) {
  pending_ += a;
  pending_ += ' ';
  pending_ += b;
  pending_ += ' ';
  pending_ += c;
  pending_ += '\n';
  if (pending_.size() >= drainAt) drain();
}

void Writer::writeCounts(std::int32_t vertexCount, std::int32_t faceCount) {
  pending_ += std::to_string(vertexCount) + ' ' + std::to_string(faceCount) + '\n';
}

void Writer::writeVertex(std::uint32_t xBits, std::uint32_t yBits, std::uint32_t zBits) {
  line(coordinateText(xBits), coordinateText(yBits), coordinateText(zBits));
}

void Writer::writeFace(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  line(std::to_string(a), std::to_string(b), std::to_string(c));
}

void Writer::drain() {
  if (!failed_ && !pending_.empty()) {
    auto size = std::streamsize(pending_.size());
    failed_ = output_.sputn(pending_.data(), size) != size;
  }
  written_ += pending_.size();
  pending_.clear();
}

bool Writer::flush() {
  drain();
  if (!failed_ && output_.pubsync() != 0) failed_ = true;
  return !failed_;
}

}  // namespace meshtext
