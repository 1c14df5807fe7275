#include "engine.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "block.h"
#include "threedb/writer.h"

namespace converter {
namespace {

// Blocks in flight beside the one each worker converts: a worker that finishes a block before
// the one ahead of it has been written goes on to the next. More would only spread the blocks'
// text, index, echo and records over more memory than the caches hold (measured with two
// workers: four slots took 2 to 7% more CPU time than two or three, for the same wall time).
constexpr std::size_t spareSlots = 1;

// The blocks of the input are read in turn; then, side by side, each is indexed, cut into whole
// records given what the block before it carried (the only wait between workers, and a short
// one: carrying is decided right after indexing), and converted. The worker that finishes the
// oldest block not yet written writes it, and any finished after it, so that no worker waits for
// its turn to write, and the console and the file come out as one thread makes them.
class Pipeline {
 public:
  Pipeline(meshtext::BlockReader& reader, std::uint32_t vertexCount, meshtext::Simd simd,
           unsigned workers, threedb::Writer& writer, Echo& echo)
      : reader_(reader),
        vertexCount_(vertexCount),
        simd_(simd),
        slots_(workers + spareSlots),
        links_(slots_.size()),
        writer_(writer),
        echo_(echo) {
    links_[0].sequence = 0;  // the first block follows the counts: nothing is carried to it
  }

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
      outcome.partialFaceTokens = leftover_;
    }
    outcome.indicesOutOfRange = indicesOutOfRange_;
    if (writer_.failed()) outcome.stop = Stop::writeFailed;
    if (echo_.failed()) outcome.stop = Stop::consoleFailed;
    if (outOfMemory_) outcome.stop = Stop::outOfMemory;
  }

 private:
  struct Slot {
    std::unique_ptr<meshtext::Block> block;  // made when first needed
    Converted converted;
    bool done = false;  // converted, waiting for its turn to be written
  };
  // What block `sequence` - 1 carried to block `sequence`.
  struct Link {
    std::uint64_t sequence = ~std::uint64_t{0};  // none yet
    meshtext::Carry carry;
    std::unique_ptr<StreamedRecord> streamed;  // the record longer than a block, if carried
  };

  // Takes the parts of block `sequence` as cutIntoRecords hands them over: waits for its carry,
  // converts its records and the records longer than a block into its slot, and hands its own
  // carry on.
  class Steps : public meshtext::BlockConsumer {
   public:
    Steps(Pipeline& pipeline, std::uint64_t sequence)
        : pipeline_(pipeline),
          sequence_(sequence),
          converted_(pipeline.slots_[sequence % pipeline.slots_.size()].converted),
          sink_(streamed_, pipeline.vertexCount_, converted_) {}

    bool receive(meshtext::Carry& carried) override {
      Link in;
      if (!pipeline_.waitForCarry(sequence_, in)) return false;
      carried = std::move(in.carry);
      streamed_ = std::move(in.streamed);
      converted_.reset();
      return true;
    }
    void piece(std::uint64_t record, std::size_t token, std::string_view text, bool last) override {
      sink_.piece(record, token, text, last);
    }
    void unfinished(std::uint64_t) override { sink_.unfinished(); }
    void handOn(meshtext::Carry&& carry) override {
      if (const auto* ended = std::get_if<meshtext::Carry::Ended>(&carry.state)) {
        inputEnded_ = true;
        leftover_ = ended->leftover;
      }
      pipeline_.handOnCarry(sequence_ + 1, std::move(carry), std::move(streamed_));
    }
    void records(const meshtext::Block& block, const meshtext::Chunk& chunk) override {
      convertRecords(block, chunk, pipeline_.vertexCount_, pipeline_.simd_, converted_);
    }

    bool inputEnded() const noexcept { return inputEnded_; }
    std::size_t leftover() const noexcept { return leftover_; }

   private:
    Pipeline& pipeline_;
    const std::uint64_t sequence_;
    Converted& converted_;
    std::unique_ptr<StreamedRecord> streamed_;
    StreamSink sink_;
    bool inputEnded_ = false;
    std::size_t leftover_ = 0;
  };

  // A worker converts blocks until the input ends or the run stops. Running out of memory stops
  // the run, never the process.
  void work() {
    std::uint64_t sequence;
    try {
      while (readNextBlock(sequence)) {
        Steps steps(*this, sequence);
        if (!meshtext::cutIntoRecords(*slots_[sequence % slots_.size()].block, steps, simd_))
          return;
        markConverted(sequence, steps.inputEnded(), steps.leftover());
      }
    } catch (const std::bad_alloc&) {
      stop(true);
    }
  }

  // Reads the next block into its slot, once the block that used the slot before is written.
  bool readNextBlock(std::uint64_t& sequence) {
    std::lock_guard<std::mutex> reading(readMutex_);
    if (ended_) return false;
    sequence = read_;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || sequence < written_ + slots_.size(); });
      if (stopping_) return false;
    }
    Slot& slot = slots_[sequence % slots_.size()];
    if (!slot.block)
      slot.block = std::make_unique<meshtext::Block>(reader_.blockSize(), echoReadable);
    if (!reader_.next(*slot.block)) return false;
    ++read_;
    ended_ = slot.block->last();
    return true;
  }

  // Waits for what block `sequence` - 1 carried; false when the run has stopped.
  bool waitForCarry(std::uint64_t sequence, Link& in) {
    std::unique_lock<std::mutex> lock(mutex_);
    Link& link = links_[sequence % links_.size()];
    changed_.wait(lock, [&] { return stopping_ || link.sequence == sequence; });
    if (stopping_) return false;
    in = std::move(link);
    return true;
  }

  void handOnCarry(std::uint64_t sequence, meshtext::Carry&& carry,
                   std::unique_ptr<StreamedRecord>&& streamed) {
    Link out{sequence, std::move(carry), std::move(streamed)};
    std::lock_guard<std::mutex> lock(mutex_);
    links_[sequence % links_.size()] = std::move(out);
    changed_.notify_all();
  }

  // Marks block `sequence` converted, and writes every converted block whose turn has come,
  // unless another worker is doing so already.
  void markConverted(std::uint64_t sequence, bool inputEnded, std::size_t leftover) {
    std::unique_lock<std::mutex> lock(mutex_);
    slots_[sequence % slots_.size()].done = true;
    if (inputEnded) leftover_ = leftover;
    if (writing_) return;
    writing_ = true;
    for (Slot* next; (next = &slots_[written_ % slots_.size()])->done;) {
      const bool stopped = stopping_;
      lock.unlock();
      if (!stopped) write(next->converted);
      lock.lock();
      next->done = false;
      ++written_;
      changed_.notify_all();
    }
    writing_ = false;
  }

  void write(Converted& converted) {
    for (std::string_view piece : converted.echo.pieces()) echo_.text(piece);
    writer_.writeRecords(converted.records);
    records_ += converted.recordCount;
    indicesOutOfRange_ += converted.indicesOutOfRange;
    if (writer_.failed() || echo_.failed()) stop(false);
  }

  void stop(bool outOfMemory) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (outOfMemory) outOfMemory_ = true;
    stopping_ = true;
    changed_.notify_all();
  }

  meshtext::BlockReader& reader_;
  const std::uint32_t vertexCount_;
  const meshtext::Simd simd_;

  std::mutex readMutex_;  // guards the reader and the fields below
  std::uint64_t read_ = 0;
  bool ended_ = false;

  std::mutex mutex_;  // guards the fields below, and the slots' and links' hand-overs
  std::condition_variable changed_;
  std::vector<Slot> slots_;  // block `sequence` is in slots_[sequence % size]
  std::vector<Link> links_;  // what block `sequence` - 1 carried, in links_[sequence % size]
  std::uint64_t written_ = 0;
  bool writing_ = false;
  bool stopping_ = false;
  bool outOfMemory_ = false;

  // Written by the one worker writing at a time, read once the workers are joined.
  threedb::Writer& writer_;
  Echo& echo_;
  std::uint64_t records_ = 0;
  std::uint64_t indicesOutOfRange_ = 0;
  std::size_t leftover_ = 0;
};

}  // namespace

Outcome convert(std::streambuf& input, const std::function<std::streambuf*()>& openOutput,
                Echo& echo, const ConvertOptions& options) {
  Outcome outcome;
  meshtext::BlockReader reader(input, options.blockSize);
  outcome.countTokens = reader.readCounts(outcome.counts);
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
  const unsigned workers = std::max(options.workers, 1u);
  Pipeline pipeline(reader, std::uint32_t(outcome.counts.vertexCount), options.simd, workers,
                    writer, echo);
  pipeline.run(workers, outcome);
  // Whatever was converted reaches the stream, a failed run's included.
  if (!writer.flush() && outcome.stop == Stop::none) outcome.stop = Stop::writeFailed;
  return outcome;
}

}  // namespace converter
