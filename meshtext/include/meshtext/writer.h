// Writing mesh text that reads back to exactly the values given: the counts, then one line per
// vertex and per face.
#pragma once

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>

namespace meshtext {

// A coordinate's binary32 bits as a token that the converter reads back to exactly these bits
// (NaN payloads and the sign of zero included).
std::string coordinateText(std::uint32_t bits);

// Appends mesh text to `output` in lines gathered into large writes. A write the stream does not
// take in full marks the writer failed; nothing more is written then. Call flush() at the end.
class Writer {
 public:
  explicit Writer(std::streambuf& output);

  void writeCounts(std::int32_t vertexCount, std::int32_t faceCount);
  void writeVertex(std::uint32_t xBits, std::uint32_t yBits, std::uint32_t zBits);
  void writeFace(std::uint32_t a, std::uint32_t b, std::uint32_t c);

  // Hands the gathered text to the stream and syncs it; false if any write so far failed.
  bool flush();
  bool failed() const noexcept { return failed_; }

  // Bytes taken so far, whether or not they reached the stream yet.
  std::uint64_t bytesWritten() const noexcept { return written_ + pending_.size(); }

 private:
  // Pending text is handed to the stream once it reaches this many bytes.
  static constexpr std::size_t drainAt = std::size_t{1} << 16;
  void line(const std::string& a, const std::string& b, const std::string& c);
  void drain();

  std::streambuf& output_;
  std::string pending_;
  std::uint64_t written_ = 0;
  bool failed_ = false;
};

}  // namespace meshtext
