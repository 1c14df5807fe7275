// The conversion itself, from an open input stream to an output stream opened on demand, with
// no knowledge of files or paths: the run sequence and the in-memory drivers share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <streambuf>

#include "console.h"
#include "meshtext/chunker.h"
#include "meshtext/index.h"

namespace converter {

// Why a conversion stopped before the end of its input.
enum class Stop {
  none,                 // converted to the end of the input
  missingCounts,        // fewer than two tokens
  negativeVertexCount,  // rejected before the output was opened
  outputUnavailable,    // openOutput gave no stream
  truncatedVertices,    // the input ended inside the vertex section
  writeFailed,          // the output did not take a write or the final flush
  consoleFailed,        // the console did not take the echo
  outOfMemory,          // an allocation failed, on any thread
};

struct Outcome {
  Stop stop = Stop::none;
  std::size_t countTokens = 0;  // 2 once both counts were read
  meshtext::Counts counts;
  std::uint32_t verticesFound = 0;      // complete vertices read
  std::uint64_t faceRecords = 0;        // complete face triples converted
  std::size_t partialFaceTokens = 0;    // tokens of a last, incomplete face, which was dropped
  std::uint64_t indicesOutOfRange = 0;  // indices outside 0..65535, stored modulo 65536
};

struct ConvertOptions {
  // Threads that convert side by side; more than one only for an input whose reads always
  // return (not a pipe): every thread is joined before convert returns.
  unsigned workers = 1;
  std::size_t blockSize = meshtext::BlockReader::defaultBlockSize;
  // The instructions tokens are found with; every choice gives the same bytes.
  meshtext::Simd simd = meshtext::bestSimd();
};

// Reads the counts and echoes them, rejects a negative vertexCount, then asks `openOutput` for the
// output (it returns nullptr when it cannot give one) and converts every record to it, echoing
// each. Reads `input` once from start to end; never seeks or pads the output. The console and
// the file are the same whatever the number of workers and the instructions; the block size
// changes only the echo of an incomplete last record that is longer than a block, which is
// echoed as it streams by. Running out of memory, on any thread, ends it with
// Stop::outOfMemory once every thread has stopped.
Outcome convert(std::streambuf& input, const std::function<std::streambuf*()>& openOutput,
                Echo& echo, const ConvertOptions& options = {});

}  // namespace converter
