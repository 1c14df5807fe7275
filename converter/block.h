// One block of the input converted: its records encoded and its echo gathered, ready to be
// written in its turn; and the records longer than a block, which are converted piece by piece
// as the blocks holding them are cut.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "console.h"
#include "meshtext/chunker.h"
#include "meshtext/summary.h"
#include "threedb/writer.h"

namespace converter {

struct Converted {
  EchoPieces echo;
  threedb::EncodedRecords records;
  std::uint64_t recordCount = 0;
  std::uint64_t indicesOutOfRange = 0;

  // Starts over, for the next block.
  void reset();
};

// A record too long to hold: echoed piece by piece, and converted from bounded summaries of its
// tokens.
class StreamedRecord {
 public:
  explicit StreamedRecord(bool vertex) : vertex_(vertex) {}

  // The next piece of its token `token`, echoed to `echo` (with the separator after the token
  // when `last`).
  void piece(std::size_t token, std::string_view text, bool last, EchoPieces& echo);

  // Encodes the record, once its three tokens are whole, into `out`.
  void write(Converted& out) const;

 private:
  bool vertex_;
  meshtext::CoordinateSummary coordinates_[3];
  meshtext::IntegerSummary indices_[3];
};

// The records longer than a block that the cut of a block hands out piece by piece: each is made
// when it starts, handed on from block to block in `record` until it is whole, then written to
// `out`.
class StreamSink {
 public:
  StreamSink(std::unique_ptr<StreamedRecord>& record, std::uint32_t vertexCount, Converted& out)
      : record_(record), vertexCount_(vertexCount), out_(out) {}
  // As meshtext::RecordSink::piece.
  void piece(std::uint64_t record, std::size_t token, std::string_view text, bool last);
  // The input ended inside the record: its echo, on the console already, ends its line.
  void unfinished();

 private:
  std::unique_ptr<StreamedRecord>& record_;
  std::uint32_t vertexCount_;
  Converted& out_;
};

// How far past a record's last token its echo reads the block's text: a record is copied in
// fixed-size moves. Blocks for convertRecords are made with meshtext::Block(size, echoReadable).
inline constexpr std::size_t echoReadable = 64;

// Converts the whole records of `chunk`, cut from `block`, appending their encoding and echo to
// `out`: records before `vertexCount` are vertices, the rest faces.
void convertRecords(const meshtext::Block& block, const meshtext::Chunk& chunk,
                    std::uint32_t vertexCount, meshtext::Simd simd, Converted& out);

}  // namespace converter
