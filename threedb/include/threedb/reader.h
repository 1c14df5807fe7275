// Reading a 3DB file back from a stream, record by record, checking it as it goes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <streambuf>

#include "threedb/format.h"

namespace threedb {

// What is wrong with a file, if anything.
enum class Problem {
  none,
  truncatedHeader,      // fewer than 15 bytes
  badMagic,             // the first three bytes are not "3DB"
  unknownVersion,       // the version field is not 1
  negativeVertexCount,  // no file size can match it
  truncatedVertices,    // the file ends before vertexCount whole vertex records
  trailingBytes,        // 1 to 5 bytes after the last whole face record: the size does not match
                        // 15 + 16 x vertexCount + 6 x face records
};

struct Header {
  std::int32_t vertexCount = 0;
  std::int32_t faceCount = 0;
  std::int32_t version = 0;
};

struct VertexRecord {
  std::uint32_t colour = 0;
  std::uint32_t xBits = 0, yBits = 0, zBits = 0;

  std::array<std::uint32_t, 3> bits() const noexcept { return {xBits, yBits, zBits}; }
};

struct FaceRecord {
  std::uint16_t a = 0, b = 0, c = 0;
};

// The header's fields from its 15 bytes, whatever they hold.
Header decodeHeader(const HeaderBytes& bytes) noexcept;
VertexRecord decodeVertex(const VertexBytes& bytes) noexcept;
FaceRecord decodeFace(const FaceBytes& bytes) noexcept;

// The value of a coordinate's bits.
float floatFromBits(std::uint32_t bits) noexcept;

// Reads a 3DB file in one pass: the header, then vertexCount vertex records, then face records
// to the end. Holds one record at a time: the header's counts are never trusted for allocation.
class FileReader {
 public:
  explicit FileReader(std::streambuf& input);

  // Reads and checks the header; none, truncatedHeader, badMagic, unknownVersion or
  // negativeVertexCount. The header's fields are filled in whenever its 15 bytes were there.
  Problem readHeader(Header& header);

  // Reads the next of the header's vertexCount vertex records; false once they are all read, or
  // with problem() truncatedVertices when the file ends first.
  bool readVertex(VertexRecord& vertex);

  // Reads the next face record; false at the end of the file, with problem() trailingBytes when
  // a partial record ends it.
  bool readFace(FaceRecord& face);

  Problem problem() const noexcept { return problem_; }
  const Header& header() const noexcept { return header_; }
  std::uint32_t verticesRead() const noexcept { return verticesRead_; }
  std::uint64_t facesRead() const noexcept { return facesRead_; }
  std::uint64_t bytesRead() const noexcept { return bytesRead_; }
  std::size_t trailingBytes() const noexcept { return trailing_; }

 private:
  std::size_t read(unsigned char* data, std::size_t size);

  std::streambuf& input_;
  Header header_;
  Problem problem_ = Problem::none;
  std::uint32_t verticesRead_ = 0;
  std::uint64_t facesRead_ = 0;
  std::uint64_t bytesRead_ = 0;
  std::size_t trailing_ = 0;
};

}  // namespace threedb
