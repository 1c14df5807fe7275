#include "block.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "meshtext/numbers.h"
#include "meshtext/records.h"

namespace converter {
namespace {

// Records converted at a time: their tokens' values and ends stay in the first-level cache.
constexpr std::size_t batchRecords = 256;

// A run of the text that is echoed as it stands is handed over as it lies, unless it is shorter
// than this: copying it costs less than a piece of its own.
constexpr std::size_t shortRun = 256;

// The echo of records of one kind, record by record. A record that stands in the input exactly
// as it is echoed (single spaces between its tokens, its ending after them) joins the run of
// such records before it; the others are written out.
class RecordEcho {
 public:
  RecordEcho(const char* text, std::string_view ending, EchoPieces& echo)
      : text_(text), ending_(ending), echo_(echo), out_(echo.end()) {}
  ~RecordEcho() {
    flushRun();
    echo_.advance(out_);
  }

  void add(const std::uint32_t* starts, const std::uint32_t* ends) {
    const char* first = text_ + starts[0];
    const char* last = text_ + ends[2];
    const bool spaced = ends[0] + 1 == starts[1] && text_[ends[0]] == ' ' &&
                        ends[1] + 1 == starts[2] && text_[ends[1]] == ' ';
    if (spaced && std::memcmp(last, ending_.data(), ending_.size()) == 0) {
      if (first != runEnd_) {
        flushRun();
        runStart_ = first;
      }
      runEnd_ = last + ending_.size();
      return;
    }
    flushRun();
    if (spaced) {
      std::memcpy(out_, first, std::size_t(last - first));
      out_ += last - first;
      std::memcpy(out_, ending_.data(), ending_.size());
      out_ += ending_.size();
    } else {
      out_ = echoRecord(out_,
                        {std::string_view(first, ends[0] - starts[0]),
                         std::string_view(text_ + starts[1], ends[1] - starts[1]),
                         std::string_view(text_ + starts[2], ends[2] - starts[2])},
                        ending_);
    }
  }

 private:
  void flushRun() {
    const std::size_t size = std::size_t(runEnd_ - runStart_);
    if (size == 0) return;
    if (size < shortRun) {
      std::memcpy(out_, runStart_, size);
      out_ += size;
    } else {
      echo_.advance(out_);
      echo_.add(std::string_view(runStart_, size));
      out_ = echo_.end();
    }
    runStart_ = runEnd_ = nullptr;
  }

  const char* text_;
  std::string_view ending_;
  EchoPieces& echo_;
  char* out_;
  const char* runStart_ = nullptr;
  const char* runEnd_ = nullptr;
};

}  // namespace

void Converted::reset() {
  echo.clear();
  records.clear();
  records.reserve(1);  // a record longer than a block may end in this one
  recordCount = indicesOutOfRange = 0;
}

void StreamedRecord::piece(std::size_t token, std::string_view text, bool last, EchoPieces& echo) {
  echo.add(text);
  if (vertex_)
    coordinates_[token].add(text);
  else
    indices_[token].add(text);
  if (last) echo.add(token < 2 ? " " : vertex_ ? vertexEnding : faceEnding);
}

void StreamedRecord::write(Converted& out) const {
  ++out.recordCount;
  if (vertex_) {
    out.records.addVertex(coordinates_[0].bits(), coordinates_[1].bits(), coordinates_[2].bits());
    return;
  }
  for (const auto& index : indices_) out.indicesOutOfRange += !meshtext::fitsIndex(index.value());
  out.records.addFace(meshtext::toIndex(indices_[0].value()),
                      meshtext::toIndex(indices_[1].value()),
                      meshtext::toIndex(indices_[2].value()));
}

void StreamSink::piece(std::uint64_t record, std::size_t token, std::string_view text, bool last) {
  if (!record_) record_ = std::make_unique<StreamedRecord>(record < vertexCount_);
  record_->piece(token, text, last, out_.echo);
  if (last && token == 2) {
    record_->write(out_);
    record_.reset();
  }
}

void convertChunk(const meshtext::Block& block, const meshtext::Chunk& chunk,
                  std::uint32_t vertexCount, meshtext::Simd simd, Converted& out) {
  if (chunk.records == 0) return;
  const char* text = block.text();
  const std::size_t length = block.length();
  out.echo.makeRoom(echoBound(length - chunk.starts[0], chunk.records));
  out.records.reserve(std::size_t(chunk.records));
  const std::uint32_t* starts = chunk.starts;
  std::uint32_t bits[3 * batchRecords], ends[3 * batchRecords];
  std::int32_t values[3 * batchRecords];
  std::uint64_t record = chunk.firstRecord;
  const std::uint64_t end = chunk.firstRecord + chunk.records;
  if (record < vertexCount) {
    RecordEcho echo(text, vertexEnding, out.echo);
    while (record < std::min<std::uint64_t>(end, vertexCount)) {
      const std::size_t n =
          std::size_t(std::min<std::uint64_t>({batchRecords, end - record, vertexCount - record}));
      meshtext::coordinateTokens(text, length, starts, 3 * n, bits, ends, simd);
      for (std::size_t i = 0; i < 3 * n; i += 3) {
        echo.add(starts + i, ends + i);
        out.records.addVertex(bits[i], bits[i + 1], bits[i + 2]);
      }
      starts += 3 * n;
      record += n;
    }
  }
  RecordEcho echo(text, faceEnding, out.echo);
  while (record < end) {
    const std::size_t n = std::size_t(std::min<std::uint64_t>(batchRecords, end - record));
    meshtext::integerTokens(text, length, starts, 3 * n, values, ends, simd);
    for (std::size_t i = 0; i < 3 * n; i += 3) {
      echo.add(starts + i, ends + i);
      out.records.addFace(meshtext::toIndex(values[i]), meshtext::toIndex(values[i + 1]),
                          meshtext::toIndex(values[i + 2]));
      for (std::size_t k = i; k < i + 3; ++k)
        out.indicesOutOfRange += !meshtext::fitsIndex(values[k]);
    }
    starts += 3 * n;
    record += n;
  }
  out.recordCount += chunk.records;
}

}  // namespace converter
