// Reading mesh text record by record from any stream: the simple interface for other programs.
// The converter reads the same text with the same tokenizer, in chunks (meshtext/chunker.h),
// so that it can convert them side by side.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>

#include "meshtext/chunker.h"
#include "meshtext/scanner.h"

namespace meshtext {

// Reads tokens from a stream in one pass, block by block, however large the input. Tokens are
// read whole, whatever their length.
class Reader {
 public:
  static constexpr std::size_t defaultBlockSize = std::size_t{1} << 16;

  // Reads from `input` with sgetn, `blockSize` bytes at a time; the end of the input is where
  // sgetn first returns nothing (the caller tells an end from a read error by its stream).
  explicit Reader(std::streambuf& input, std::size_t blockSize = defaultBlockSize);

  // Reads up to `wanted` (at most 3) further tokens into `tokens` and returns how many it found:
  // fewer only at the end of the input. The views stay valid until the next read.
  std::size_t readTokens(std::string_view* tokens, std::size_t wanted);

  // Reads vertexCount then faceCount; returns the number of tokens found (2 when both were there).
  std::size_t readCounts(Counts& counts);

  // Reads the next three tokens as a vertex; returns how many it found (3 when complete).
  std::size_t readVertex(Vertex& vertex);

  // Reads the next three tokens as a face; returns how many it found (3 when complete, 0 at the
  // end of the input).
  std::size_t readFace(Face& face);

 private:
  bool nextChunk();

  Chunker chunker_;
  RecordChunk chunk_;
  Scanner scanner_;
  bool ended_ = false;
  std::string held_[3];  // tokens of a record that spans two chunks
};

}  // namespace meshtext
