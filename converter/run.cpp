#include "run.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>

#include "common/filebuf.h"
#include "common/output.h"
#include "common/paths.h"
#include "common/program.h"
#include "console.h"
#include "engine.h"

namespace converter {
namespace {

// Inputs smaller than this many blocks are converted on one thread (see optionsFor).
constexpr std::uintmax_t smallInputBlocks = 4;

// The block of a small file: a page, so that a file that grows while it is read still goes in
// reads of some size.
constexpr std::size_t smallestBlock = 4096;

common::Diagnostics diagnosticsFor(Echo& echo, std::ostream& errors) {
  return common::Diagnostics("vorlatic", errors, [&echo] { echo.flush(); });
}

using Failure = std::pair<std::string_view, std::string>;

std::string cannotWrite(int error) { return "cannot write: " + common::systemReason(error); }

// The error that stopped the run, if any, as the name it concerns and the reason.
std::optional<Failure> failure(const Outcome& outcome, const Ending& ending) {
  // A read error ends the input early, so it explains whatever the conversion then lacked.
  if (ending.readError)
    return Failure{ending.input, "cannot read: " + common::systemReason(ending.readError)};
  switch (outcome.stop) {
    case Stop::none:
    case Stop::writeFailed:
    case Stop::consoleFailed:
      break;
    case Stop::missingCounts:
      return Failure{ending.input, outcome.countTokens == 0
                                       ? "no vertex and face counts: the input holds no token"
                                       : "no face count: the input holds a single token"};
    case Stop::negativeVertexCount:
      return Failure{ending.input,
                     "negative vertexCount " + std::to_string(outcome.counts.vertexCount)};
    case Stop::outputUnavailable:
      return Failure{ending.output, std::string(ending.refusal)};
    case Stop::truncatedVertices:
      return Failure{ending.input, "the input ends after " + std::to_string(outcome.verticesFound) +
                                       " of " +
                                       common::plural(std::uint32_t(outcome.counts.vertexCount),
                                                      "declared vertex", "declared vertices")};
    case Stop::outOfMemory:
      return Failure{ending.input, "out of memory"};
  }
  if (outcome.stop == Stop::consoleFailed || ending.consoleError)
    return Failure{"standard output", cannotWrite(ending.consoleError ? ending.consoleError : EIO)};
  if (outcome.stop == Stop::writeFailed)
    return Failure{ending.output, cannotWrite(ending.writeError ? ending.writeError : EIO)};
  return std::nullopt;
}

void warn(const Outcome& outcome, std::string_view input, common::Diagnostics& diagnostics) {
  if (outcome.partialFaceTokens > 0)
    diagnostics.warn(input, "the last face has only " +
                                common::plural(outcome.partialFaceTokens, "index", "indices") +
                                "; dropped");
  if (outcome.indicesOutOfRange > 0)
    diagnostics.warn(input, common::plural(outcome.indicesOutOfRange, "index", "indices") +
                                " outside 0..65535, stored modulo 65536");
  if (outcome.faceRecords != std::uint64_t(std::int64_t(outcome.counts.faceCount)) ||
      outcome.counts.faceCount < 0)
    diagnostics.warn(input, "faceCount is " + std::to_string(outcome.counts.faceCount) +
                                " but the input holds " +
                                common::plural(outcome.faceRecords, "face", "faces") +
                                "; all are converted and the header keeps " +
                                std::to_string(outcome.counts.faceCount));
}

// A regular file of a few blocks or more is converted on two threads. A smaller one is done on
// this thread before a second could even start; a pipe or a terminal too, since a read that
// never returns would keep a second thread from ever being joined. A file smaller than a block
// is read in a block of about its own size: its few KiB come from the heap, where full blocks
// would be mapped afresh for a handful of bytes (measured on the one-vertex mesh: 0.2 ms, 5% of
// the run). No record can then be longer than the block, so the echo is the same.
ConvertOptions optionsFor(const std::string& inputPath) {
  ConvertOptions options;
  std::error_code ignored;
  const std::filesystem::path path = common::pathOf(inputPath);
  if (!std::filesystem::is_regular_file(path, ignored)) return options;
  const std::uintmax_t size = std::filesystem::file_size(path, ignored);
  if (ignored) return options;
  if (size >= smallInputBlocks * options.blockSize) options.workers = 2;
  if (size < options.blockSize) options.blockSize = std::max(smallestBlock, std::size_t(size) + 1);
  return options;
}

// The run from the input's name on: convert, close the input, and conclude.
int convertFile(const std::string& inputPath, const std::string& outputPath, Echo& echo,
                std::ostream& console, common::Diagnostics& diagnostics) {
  common::FileBuf input;
  if (inputPath.empty())
    return diagnostics.fail(inputPath, std::string("cannot open: ") + common::emptyPathReason);
  if (!input.open(inputPath, "rb"))
    return diagnostics.fail(inputPath, "cannot open: " + common::systemReason(input.error()));
  common::OutputFile output(outputPath);
  std::string refusal;
  const ConvertOptions options = optionsFor(inputPath);
  Outcome outcome = convert(
      input, [&]() { return output.open(inputPath, refusal); }, echo, options);
  Ending ending;
  ending.input = inputPath;
  ending.output = outputPath;
  ending.refusal = refusal;
  if (!input.close()) ending.readError = input.error();
  echo.flush();
  if (echo.failed()) ending.consoleError = common::writeError(console);
  if (outcome.stop == Stop::writeFailed) ending.writeError = output.error();
  return conclude(outcome, ending, diagnostics, &output);
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& console, std::ostream& errors) {
  try {
    Echo echo(console);
    common::Diagnostics diagnostics = diagnosticsFor(echo, errors);
    echo.text(banner);
    if (args.size() < 3) {
      echo.text(usageLine);
      echo.flush();
      if (echo.failed())
        return diagnostics.fail("standard output", cannotWrite(common::writeError(console)));
      return common::statusUsage;
    }
    if (args.size() == 4) echo.versionLine(args[3]);
    // The echo would be appended to the input as it is read, and read again, without end.
    if (common::consoleIsInput("vorlatic", args[1], console, errors)) {
      echo.discard();
      return common::statusFailed;
    }
    return convertFile(args[1], args[2], echo, console, diagnostics);
  } catch (const std::bad_alloc&) {
    // The console went out as the echo was unwound; the diagnostic follows it.
    common::Diagnostics diagnostics("vorlatic", errors, nullptr);
    return diagnostics.fail(args.size() > 1 ? args[1] : "vorlatic", "out of memory");
  }
}

int conclude(const Outcome& outcome, const Ending& ending, common::Diagnostics& diagnostics,
             common::OutputFile* output) {
  if (auto stopped = failure(outcome, ending)) {
    if (output) output->discard();
    return diagnostics.fail(stopped->first, stopped->second);
  }
  if (output && output->opened() && !output->finish()) {
    output->discard();
    return diagnostics.fail(ending.output, cannotWrite(output->error()));
  }
  // Every word is out before the output is put in place: a console that fails now still leaves
  // the previous file, and once it is in place nothing is left that could fail.
  warn(outcome, ending.input, diagnostics);
  if (diagnostics.failed()) {
    if (output) output->discard();
    return common::statusFailed;
  }
  if (output && output->opened() && !output->commit())
    return diagnostics.fail(ending.output, cannotWrite(output->error()));
  return common::statusOk;
}

int convertInMemory(std::string_view text, std::string& bytes, std::ostream& console,
                    std::ostream& errors, const ConvertOptions& options) {
  std::stringbuf input(std::string(text), std::ios::in);
  std::stringbuf output(std::ios::out);
  Echo echo(console);
  common::Diagnostics diagnostics = diagnosticsFor(echo, errors);
  Outcome outcome = convert(
      input, [&]() { return &output; }, echo, options);
  Ending ending;
  ending.input = "<input>";
  ending.output = "<output>";
  echo.flush();
  int status = conclude(outcome, ending, diagnostics);
  bytes = output.str();
  return status;
}

}  // namespace converter
