// Reading mesh text record by record from any stream: the simple interface for other programs.
// It cuts the text into blocks as the converter does (meshtext/chunker.h), and converts tokens
// with the general conversions of meshtext/numbers.h.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>

#include "meshtext/chunker.h"
#include "meshtext/mesh.h"

namespace meshtext {

// Reads tokens from a stream in one pass, block by block, however large the input. Tokens are
// read whole, whatever their length.
class Reader {
 public:
  static constexpr std::size_t defaultReadSize = std::size_t{1} << 16;

  // Reads from `input` with sgetn, `readSize` bytes at a time; the end of the input is where
  // sgetn first returns nothing (the caller tells an end from a read error by its stream).
  explicit Reader(std::streambuf& input, std::size_t readSize = defaultReadSize);

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
  // The tokens of a record too long for a block, gathered whole from their pieces.
  struct Gather {
    std::string tokens[3];
    std::size_t count = 0;
  };
  // Takes each block's parts as cutIntoRecords hands them over.
  struct Parts : BlockConsumer {
    Reader& reader;
    explicit Parts(Reader& r) : reader(r) {}
    bool receive(Carry& carried) override;
    void piece(std::uint64_t, std::size_t token, std::string_view text, bool last) override;
    void unfinished(std::uint64_t) override;
    void handOn(Carry&& carry) override;
    void records(const Block& block, const Chunk& chunk) override;
  };

  bool take(std::string_view& token);
  bool nextBlock();

  BlockReader blocks_;
  Block block_;
  Carry carry_;
  bool started_ = false;  // a block has been read
  Gather streaming_;      // a record being gathered
  Gather gathered_;       // one gathered whole (or ended with the input), handed out first
  std::size_t gatheredNext_ = 0;
  const std::uint32_t* starts_ = nullptr;  // then the block's own tokens
  std::size_t blockTokens_ = 0, blockNext_ = 0;
  std::string held_[3];  // tokens of a record that spans two blocks' worth of handing out
};

}  // namespace meshtext
