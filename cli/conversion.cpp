#include "conversion.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "meshtext/chunker.h"
#include "meshtext/numbers.h"
#include "threedb/writer.h"

namespace vorlatic {
namespace {

// Chunks of records are cut from the input one at a time, converted side by side, and written
// strictly in the order they were cut, so the console and the file are as one thread makes them.
class Pipeline {
 public:
  Pipeline(meshtext::Chunker& chunker, std::uint32_t vertexCount, std::streambuf& output,
           Echo& echo)
      : chunker_(chunker), vertexCount_(vertexCount), output_(output), echo_(echo) {}

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
    std::uint64_t records = records_;
    if (records < vertexCount_) {
      outcome.verticesFound = std::uint32_t(records);
      outcome.stop = Stop::truncatedVertices;
    } else {
      outcome.verticesFound = vertexCount_;
      outcome.faceRecords = records - vertexCount_;
      outcome.partialFaceTokens = chunker_.leftoverTokens();
    }
    outcome.indicesOutOfRange = indicesOutOfRange_;
    if (writeFailed_) outcome.stop = Stop::writeFailed;
  }

 private:
  void work() {
    meshtext::RecordChunk chunk;
    std::vector<char> echoBytes;
    std::vector<unsigned char> recordBytes;
    meshtext::Vertex vertex;
    meshtext::Face face;
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
      // A record's echo is its tokens and at most four more bytes; its bytes at most 16.
      std::size_t echoBound = chunk.length + 4 * std::size_t(chunk.records);
      if (echoBytes.size() < echoBound) echoBytes.resize(echoBound);
      if (recordBytes.size() < 16 * chunk.records) recordBytes.resize(16 * chunk.records);
      char* echo = echoBytes.data();
      unsigned char* bytes = recordBytes.data();
      std::uint64_t outOfRange = 0;
      meshtext::Reader reader = chunk.reader();
      for (std::uint64_t r = 0; r < chunk.records; ++r) {
        // A chunk holds whole records only: every read finds its three tokens.
        if (chunk.firstRecord + r < vertexCount_) {
          reader.readVertex(vertex);
          echo = echoVertex(echo, vertex);
          auto record = threedb::encodeVertex(vertex.x, vertex.y, vertex.z);
          std::memcpy(bytes, record.data(), record.size());
          bytes += record.size();
        } else {
          reader.readFace(face);
          echo = echoFace(echo, face);
          auto record = threedb::encodeFace(face.index[0], face.index[1], face.index[2]);
          std::memcpy(bytes, record.data(), record.size());
          bytes += record.size();
          for (std::int32_t value : face.value) outOfRange += !meshtext::fitsIndex(value);
        }
      }

      std::unique_lock<std::mutex> lock(writeMutex_);
      turn_.wait(lock, [&] { return written_ == sequence; });
      if (!writeFailed_) {
        echo_.text(std::string_view(echoBytes.data(), std::size_t(echo - echoBytes.data())));
        auto size = std::streamsize(bytes - recordBytes.data());
        if (output_.sputn(reinterpret_cast<const char*>(recordBytes.data()), size) != size) {
          writeFailed_ = true;
          std::lock_guard<std::mutex> stop(readMutex_);
          stopping_ = true;
        }
      }
      records_ += chunk.records;
      indicesOutOfRange_ += outOfRange;
      ++written_;
      lock.unlock();
      turn_.notify_all();
    }
  }

  meshtext::Chunker& chunker_;
  const std::uint32_t vertexCount_;
  std::streambuf& output_;
  Echo& echo_;

  std::mutex readMutex_;  // guards the chunker and the fields below
  std::uint64_t cut_ = 0;
  bool ended_ = false;
  bool stopping_ = false;

  std::mutex writeMutex_;  // guards the output, the echo and the fields below
  std::condition_variable turn_;
  std::uint64_t written_ = 0;
  std::uint64_t records_ = 0;
  std::uint64_t indicesOutOfRange_ = 0;
  bool writeFailed_ = false;
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
  threedb::Writer header(*output);
  header.writeHeader(outcome.counts.vertexCount, outcome.counts.faceCount);
  if (!header.flush()) {
    outcome.stop = Stop::writeFailed;
    return outcome;
  }
  Pipeline pipeline(chunker, std::uint32_t(outcome.counts.vertexCount), *output, echo);
  pipeline.run(options.workers ? options.workers : 1, outcome);
  if (outcome.stop == Stop::none && output->pubsync() != 0) outcome.stop = Stop::writeFailed;
  return outcome;
}

}  // namespace vorlatic
