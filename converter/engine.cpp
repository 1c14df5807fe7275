#include "engine.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "meshtext/numbers.h"
#include "threedb/writer.h"

namespace converter {
namespace {

// A chunk converted by one worker: its echo and its records, waiting for their turn to be written.
struct Converted {
  std::vector<char> echo;
  std::size_t echoSize = 0;
  threedb::RecordBlock records;
  std::uint64_t indicesOutOfRange = 0;
};

// Converts every record of `chunk`; records before `vertexCount` are vertices, the rest faces.
void convertChunk(const meshtext::RecordChunk& chunk, std::uint32_t vertexCount, Converted& out) {
  std::size_t bound = echoBound(chunk.text.size(), chunk.records);
  if (out.echo.size() < bound) out.echo.resize(bound);
  out.records.clear();
  out.records.reserve(std::size_t(chunk.records));
  out.indicesOutOfRange = 0;
  char* echo = out.echo.data();
  meshtext::Scanner scanner = chunk.scanner();
  meshtext::Vertex vertex;
  meshtext::Face face;
  for (std::uint64_t r = 0; r < chunk.records; ++r) {
    // A chunk holds whole records only: every read finds its three tokens.
    if (chunk.firstRecord + r < vertexCount) {
      scanner.vertex(vertex);
      echo = echoVertex(echo, vertex);
      out.records.addVertex(vertex.x, vertex.y, vertex.z);
    } else {
      scanner.face(face);
      echo = echoFace(echo, face);
      out.records.addFace(face.index[0], face.index[1], face.index[2]);
      for (std::int32_t value : face.value) out.indicesOutOfRange += !meshtext::fitsIndex(value);
    }
  }
  out.echoSize = std::size_t(echo - out.echo.data());
}

// Chunks of records are cut from the input one at a time, converted side by side, and written
// strictly in the order they were cut, so the console and the file are as one thread makes them.
class Pipeline {
 public:
  Pipeline(meshtext::Chunker& chunker, std::uint32_t vertexCount, threedb::Writer& writer,
           Echo& echo)
      : chunker_(chunker), vertexCount_(vertexCount), writer_(writer), echo_(echo) {}

  // Runs with `workers` threads (this one included); fills in what the outcome learns.
  void run(unsigned workers, Outcome& outcome) {
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < workers; ++i) {
      try {
        helpers.emplace_back(&Pipeline::work, this);
      } catch (const std::system_error&) {
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
  }

 private:
  void work() {
    meshtext::RecordChunk chunk;
    Converted converted;
    for (;;) {
      std::uint64_t sequence;
      {
        std::lock_guard<std::mutex> lock(readMutex_);
        if (stopping_ || ended_) return;
        if (!chunker_.next(chunk)) {
          ended_ = true;
          return;
        }
        sequence = cut_++;
      }
      convertChunk(chunk, vertexCount_, converted);
      deliver(sequence, chunk.records, converted);
    }
  }

  // Writes a converted chunk once every chunk cut before it has been written.
  void deliver(std::uint64_t sequence, std::uint64_t records, const Converted& converted) {
    std::unique_lock<std::mutex> lock(writeMutex_);
    turn_.wait(lock, [&] { return written_ == sequence; });
    if (!writer_.failed()) {
      echo_.text(std::string_view(converted.echo.data(), converted.echoSize));
      writer_.writeBlock(converted.records);
      if (writer_.failed()) {
        std::lock_guard<std::mutex> stop(readMutex_);
        stopping_ = true;
      }
    }
    records_ += records;
    indicesOutOfRange_ += converted.indicesOutOfRange;
    ++written_;
    lock.unlock();
    turn_.notify_all();
  }

  meshtext::Chunker& chunker_;
  const std::uint32_t vertexCount_;
  threedb::Writer& writer_;
  Echo& echo_;

  std::mutex readMutex_;  // guards the chunker and the fields below
  std::uint64_t cut_ = 0;
  bool ended_ = false;
  bool stopping_ = false;

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
  meshtext::Chunker chunker(input, options.blockSize);
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
  Pipeline pipeline(chunker, std::uint32_t(outcome.counts.vertexCount), writer, echo);
  pipeline.run(options.workers ? options.workers : 1, outcome);
  if (outcome.stop == Stop::none && !writer.flush()) outcome.stop = Stop::writeFailed;
  return outcome;
}

}  // namespace converter
