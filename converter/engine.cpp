#include "engine.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "meshtext/index.h"
#include "meshtext/numbers.h"
#include "meshtext/records.h"
#include "meshtext/summary.h"
#include "threedb/writer.h"

namespace converter {
namespace {

// A chunk converted by one worker: its echo and its records, waiting for their turn to be written.
struct Converted {
  std::vector<char> echo;
  std::size_t echoSize = 0;
  threedb::RecordBlock records;
  std::uint64_t indicesOutOfRange = 0;
  std::vector<std::uint32_t> starts;  // where the chunk's tokens start
};

// Converts every record of `chunk`; records before `vertexCount` are vertices, the rest faces.
// The tokens' starts are found first, for the whole chunk, so that converting a token never waits
// for the scan of the one before it.
void convertChunk(const meshtext::RecordChunk& chunk, std::uint32_t vertexCount,
                  meshtext::Simd simd, Converted& out) {
  const char* text = chunk.text.data();
  const std::size_t length = chunk.text.size();
  std::size_t bound = echoBound(length, chunk.records);
  if (out.echo.size() < bound) out.echo.resize(bound);
  if (out.starts.size() < length / 2 + 1) out.starts.resize(length / 2 + 1);
  out.records.clear();
  out.records.reserve(std::size_t(chunk.records));
  out.indicesOutOfRange = 0;
  // A chunk holds whole records only, and begins where a token may.
  const std::size_t tokens = meshtext::indexTokens(text, length, true, out.starts.data(), simd);
  assert(tokens == 3 * chunk.records);
  (void)tokens;
  char* echo = out.echo.data();
  const std::uint32_t* starts = out.starts.data();
  constexpr std::size_t batch = 3 * 256;
  std::uint32_t bits[batch], ends[batch];
  std::int32_t values[batch];
  std::uint64_t r = 0;
  auto views = [&](const std::uint32_t* s, const std::uint32_t* e) {
    return std::array<std::string_view, 3>{std::string_view(text + s[0], e[0] - s[0]),
                                           std::string_view(text + s[1], e[1] - s[1]),
                                           std::string_view(text + s[2], e[2] - s[2])};
  };
  while (r < chunk.records && chunk.firstRecord + r < vertexCount) {
    std::size_t n = std::size_t(std::min<std::uint64_t>(
        {batch / 3, chunk.records - r, vertexCount - chunk.firstRecord - r}));
    meshtext::coordinateTokens(text, length, starts, 3 * n, bits, ends, simd);
    for (std::size_t i = 0; i < 3 * n; i += 3, starts += 3) {
      echo = echoRecord(echo, views(starts, ends + i), " \n");
      out.records.addVertex(bits[i], bits[i + 1], bits[i + 2]);
    }
    r += n;
  }
  while (r < chunk.records) {
    std::size_t n = std::size_t(std::min<std::uint64_t>(batch / 3, chunk.records - r));
    meshtext::integerTokens(text, length, starts, 3 * n, values, ends, simd);
    for (std::size_t i = 0; i < 3 * n; i += 3, starts += 3) {
      const std::int32_t* v = values + i;
      echo = echoRecord(echo, views(starts, ends + i), "\n");
      out.records.addFace(meshtext::toIndex(v[0]), meshtext::toIndex(v[1]),
                          meshtext::toIndex(v[2]));
      for (int k = 0; k < 3; ++k) out.indicesOutOfRange += !meshtext::fitsIndex(v[k]);
    }
    r += n;
  }
  out.echoSize = std::size_t(echo - out.echo.data());
}

// A record too long to hold: echoed piece by piece as it is read, and converted from bounded
// summaries of its tokens.
class StreamedRecord : public meshtext::TokenSink {
 public:
  StreamedRecord(Echo& echo, bool vertex) : echo_(echo), vertex_(vertex) {}

  void piece(std::size_t token, std::string_view text, bool last) override {
    echo_.text(text);
    if (vertex_)
      coordinates_[token].add(text);
    else
      indices_[token].add(text);
    if (last) echo_.text(token < 2 ? " " : vertex_ ? " \n" : "\n");
  }

  // Writes the record once its three tokens have been read; returns the indices it stored
  // modulo 65536.
  std::uint64_t write(threedb::Writer& writer) const {
    if (vertex_) {
      writer.writeVertexBits(coordinates_[0].bits(), coordinates_[1].bits(),
                             coordinates_[2].bits());
      return 0;
    }
    std::uint64_t outOfRange = 0;
    for (const auto& index : indices_) outOfRange += !meshtext::fitsIndex(index.value());
    writer.writeFace(meshtext::toIndex(indices_[0].value()), meshtext::toIndex(indices_[1].value()),
                     meshtext::toIndex(indices_[2].value()));
    return outOfRange;
  }

 private:
  Echo& echo_;
  bool vertex_;
  meshtext::CoordinateSummary coordinates_[3];
  meshtext::IntegerSummary indices_[3];
};

// Chunks of records are cut from the input one at a time, converted side by side, and written
// strictly in the order they were cut, so the console and the file are as one thread makes them.
class Pipeline {
 public:
  Pipeline(meshtext::Chunker& chunker, std::uint32_t vertexCount, meshtext::Simd simd,
           threedb::Writer& writer, Echo& echo)
      : chunker_(chunker), vertexCount_(vertexCount), simd_(simd), writer_(writer), echo_(echo) {}

  // Runs with `workers` threads (this one included); fills in what the outcome learns.
  void run(unsigned workers, Outcome& outcome) {
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < workers; ++i) {
      try {
        helpers.emplace_back(&Pipeline::work, this);
      } catch (const std::exception&) {
        break;  // fewer threads convert the same bytes, only more slowly
      }
    }
    work();
    for (std::thread& helper : helpers) helper.join();
    if (records_ < vertexCount_) {
      outcome.verticesFound = std::uint32_t(records_);
      outcome.stop = Stop::truncatedVertices;
    } else {
      outcome.verticesFound = vertexCount_;
      outcome.faceRecords = records_ - vertexCount_;
      outcome.partialFaceTokens = chunker_.leftoverTokens();
    }
    outcome.indicesOutOfRange = indicesOutOfRange_;
    if (writer_.failed()) outcome.stop = Stop::writeFailed;
    if (echo_.failed()) outcome.stop = Stop::consoleFailed;
    if (outOfMemory_) outcome.stop = Stop::outOfMemory;
  }

 private:
  // A worker takes the next chunk, converts it, and hands it over in its turn, until the input
  // ends or the run stops. Running out of memory stops the run, never the process.
  void work() {
    meshtext::RecordChunk chunk;
    Converted converted;
    for (;;) {
      std::uint64_t sequence;
      bool failed = false;
      try {
        std::lock_guard<std::mutex> lock(readMutex_);
        if (stopping_ || ended_) return;
        if (!chunker_.next(chunk)) {
          ended_ = true;
          return;
        }
        sequence = cut_++;
        // The rest of a streamed record is read here, under the read lock, in its turn.
        if (chunk.streamed) {
          streamRecord(sequence, chunk.firstRecord < vertexCount_);
          continue;
        }
      } catch (const std::bad_alloc&) {
        stop(true);
        return;
      }
      try {
        convertChunk(chunk, vertexCount_, simd_, converted);
      } catch (const std::bad_alloc&) {
        failed = true;
        stop(true);
      }
      std::unique_lock<std::mutex> lock = turn(sequence);
      if (!failed && !stopping_) deliver(chunk.records, converted);
      pass(lock);
    }
  }

  // Waits until every chunk cut before `sequence` has been handed over.
  std::unique_lock<std::mutex> turn(std::uint64_t sequence) {
    std::unique_lock<std::mutex> lock(writeMutex_);
    turn_.wait(lock, [&] { return written_ == sequence; });
    return lock;
  }

  void pass(std::unique_lock<std::mutex>& lock) {
    ++written_;
    lock.unlock();
    turn_.notify_all();
  }

  void deliver(std::uint64_t records, const Converted& converted) {
    echo_.text(std::string_view(converted.echo.data(), converted.echoSize));
    writer_.writeBlock(converted.records);
    records_ += records;
    indicesOutOfRange_ += converted.indicesOutOfRange;
    if (writer_.failed() || echo_.failed()) stop(false);
  }

  void streamRecord(std::uint64_t sequence, bool vertex) {
    std::unique_lock<std::mutex> lock = turn(sequence);
    try {
      StreamedRecord record(echo_, vertex);
      if (stopping_) {
        ended_ = true;  // nothing more is read once the run has stopped
      } else if (chunker_.streamRecord(record) == 3) {
        indicesOutOfRange_ += record.write(writer_);
        ++records_;
        if (writer_.failed() || echo_.failed()) stop(false);
      } else {
        echo_.text("\n");  // the tokens of an incomplete last record went by already
        ended_ = true;
      }
    } catch (const std::bad_alloc&) {
      stop(true);
    }
    pass(lock);
  }

  void stop(bool outOfMemory) {
    if (outOfMemory) outOfMemory_ = true;
    stopping_ = true;
  }

  meshtext::Chunker& chunker_;
  const std::uint32_t vertexCount_;
  const meshtext::Simd simd_;
  threedb::Writer& writer_;
  Echo& echo_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> outOfMemory_{false};

  std::mutex readMutex_;  // guards the chunker and the fields below
  std::uint64_t cut_ = 0;
  bool ended_ = false;

  std::mutex writeMutex_;  // guards the writer, the echo and the fields below
  std::condition_variable turn_;
  std::uint64_t written_ = 0;
  std::uint64_t records_ = 0;
  std::uint64_t indicesOutOfRange_ = 0;
};

}  // namespace

Outcome convert(std::streambuf& input, const std::function<std::streambuf*()>& openOutput,
                Echo& echo, const ConvertOptions& options) {
  Outcome outcome;
  meshtext::Chunker chunker(input, options.blockSize, options.simd);
  outcome.countTokens = chunker.readCounts(outcome.counts);
  if (outcome.countTokens < 2) {
    outcome.stop = Stop::missingCounts;
    return outcome;
  }
  echo.counts(outcome.counts);
  // Compared as unsigned, a negative count would ask for some four billion vertices.
  if (outcome.counts.vertexCount < 0) {
    outcome.stop = Stop::negativeVertexCount;
    return outcome;
  }
  std::streambuf* output = openOutput();
  if (!output) {
    outcome.stop = Stop::outputUnavailable;
    return outcome;
  }
  threedb::Writer writer(*output);
  writer.writeHeader(outcome.counts.vertexCount, outcome.counts.faceCount);
  if (!writer.flush()) {
    outcome.stop = Stop::writeFailed;
    return outcome;
  }
  Pipeline pipeline(chunker, std::uint32_t(outcome.counts.vertexCount), options.simd, writer, echo);
  pipeline.run(options.workers ? options.workers : 1, outcome);
  // Whatever was converted reaches the stream, a failed run's included.
  if (!writer.flush() && outcome.stop == Stop::none) outcome.stop = Stop::writeFailed;
  return outcome;
}

}  // namespace converter
