#include "block.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "meshtext/batch.h"
#include "meshtext/mesh.h"
#include "meshtext/numbers.h"

namespace converter {
namespace {

// Records converted at a time: their tokens' values and ends stay in the first-level cache.
constexpr std::size_t batchRecords = 256;

// A run of the text that is echoed as it stands is handed over as it lies, unless it is shorter
// than this: copying it costs less than a piece of its own.
constexpr std::size_t shortRun = 256;

// Most records are echoed by one fixed-size move, as far as the text and the buffer may be read
// and written past their ends.
constexpr std::size_t quickCopy = echoReadable;

// The run of records at the end of those echoed so far that stand in the input exactly as they
// are echoed, which is handed over as it lies there.
struct Run {
  const char* start = nullptr;
  const char* end = nullptr;
};

// Ends `run`: its text joins the echo, copied when short.
char* endRun(Run& run, char* out, EchoPieces& echo) {
  const std::size_t size = std::size_t(run.end - run.start);
  if (size == 0) return out;
  if (size < shortRun) {
    std::memcpy(out, run.start, size);
    out += size;
  } else {
    echo.advance(out);
    echo.add(std::string_view(run.start, size));
    out = echo.end();
  }
  run = Run();
  return out;
}

// Echoes `count` records of one kind, whose tokens start at `starts` and end at `ends`. A record
// with single spaces between its tokens and its ending after them in the input joins the run
// before it; one with single spaces is copied in one go, any other token by token. The state
// lives in locals, so that a record never waits for the last one's stores.
template <bool vertex>
void echoRecords(const char* text, const std::uint32_t* starts, const std::uint32_t* ends,
                 std::size_t count, Run& run, EchoPieces& echo) {
  constexpr std::string_view ending = vertex ? vertexEnding : faceEnding;
  char* out = echo.end();
  Run current = run;
  for (std::size_t i = 0; i < 3 * count; i += 3) {
    const char* first = text + starts[i];
    const char* last = text + ends[i + 2];
    const bool spaced = (ends[i] + 1 == starts[i + 1]) & (text[ends[i]] == ' ') &
                        (ends[i + 1] + 1 == starts[i + 2]) & (text[ends[i + 1]] == ' ');
    const bool asItStands = spaced && (vertex ? last[0] == ' ' && last[1] == '\n' : *last == '\n');
    if (asItStands && first == current.end) {
      current.end = last + ending.size();
      continue;
    }
    out = endRun(current, out, echo);
    if (asItStands) {
      current = Run{first, last + ending.size()};
    } else if (spaced) {
      const std::size_t span = std::size_t(last - first);
      if (span <= quickCopy)
        std::memcpy(out, first, quickCopy);
      else
        std::memcpy(out, first, span);
      std::memcpy(out + span, ending.data(), ending.size());
      out += span + ending.size();
    } else {
      out = echoRecord(out,
                       {std::string_view(first, ends[i] - starts[i]),
                        std::string_view(text + starts[i + 1], ends[i + 1] - starts[i + 1]),
                        std::string_view(text + starts[i + 2], ends[i + 2] - starts[i + 2])},
                       ending);
    }
  }
  run = current;
  echo.advance(out);
}

std::uint64_t outOfRange(const std::int32_t* values, std::size_t count) {
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < count; ++i) n += !meshtext::fitsIndex(values[i]);
  return n;
}

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

void StreamSink::unfinished() { out_.echo.add("\n"); }

namespace {

// The records [record, end) of one kind, all vertices or all faces, a batch at a time from
// `starts` on: encoded into `out`, echoed through `run`. Returns the starts after them.
template <bool vertex>
const std::uint32_t* convertKind(const char* text, std::size_t length, const std::uint32_t* starts,
                                 std::uint64_t record, std::uint64_t end, meshtext::Simd simd,
                                 Run& run, Converted& out) {
  std::uint32_t ends[3 * batchRecords];
  std::uint32_t bits[vertex ? 3 * batchRecords : 1];
  std::int32_t values[vertex ? 1 : 3 * batchRecords];
  while (record < end) {
    const std::size_t n = std::size_t(std::min<std::uint64_t>(batchRecords, end - record));
    if constexpr (vertex) {
      meshtext::coordinateTokens(text, length, starts, 3 * n, bits, ends, simd);
      out.records.addVertices(bits, n);
    } else {
      meshtext::integerTokens(text, length, starts, 3 * n, values, ends, simd);
      out.records.addFaces(values, n);
      out.indicesOutOfRange += outOfRange(values, 3 * n);
    }
    echoRecords<vertex>(text, starts, ends, n, run, out.echo);
    starts += 3 * n;
    record += n;
  }
  return starts;
}

}  // namespace

void convertRecords(const meshtext::Block& block, const meshtext::Chunk& chunk,
                    std::uint32_t vertexCount, meshtext::Simd simd, Converted& out) {
  if (chunk.records == 0) return;
  const char* text = block.text();
  const std::size_t length = block.length();
  out.echo.makeRoom(echoBound(length - chunk.starts[0], chunk.records) + quickCopy);
  out.records.reserve(std::size_t(chunk.records));
  const std::uint64_t first = chunk.firstRecord, end = chunk.firstRecord + chunk.records;
  const std::uint64_t vertexEnd =
      std::min<std::uint64_t>(std::max<std::uint64_t>(first, vertexCount), end);
  Run run;
  const std::uint32_t* starts =
      convertKind<true>(text, length, chunk.starts, first, vertexEnd, simd, run, out);
  convertKind<false>(text, length, starts, vertexEnd, end, simd, run, out);
  out.echo.advance(endRun(run, out.echo.end(), out.echo));
  out.recordCount += chunk.records;
}

}  // namespace converter
