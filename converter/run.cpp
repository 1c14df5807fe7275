#include "run.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>

#include "common/filebuf.h"
#include "common/output.h"
#include "console.h"
#include "engine.h"

namespace converter {
namespace {

std::string plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

common::Diagnostics diagnosticsFor(Echo& echo, std::ostream& errors) {
  return common::Diagnostics("vorlatic", errors, [&echo] { echo.flush(); });
}

// The error that stopped the run, if any, as the name it concerns and the reason.
std::optional<std::pair<std::string_view, std::string>> failure(const Outcome& outcome,
                                                                const Ending& ending) {
  // A read error ends the input early, so it explains whatever the conversion then lacked.
  if (ending.readError)
    return {{ending.input, "cannot read: " + common::systemReason(ending.readError)}};
  switch (outcome.stop) {
    case Stop::none:
    case Stop::writeFailed:
      break;
    case Stop::missingCounts:
      return {{ending.input, outcome.countTokens == 0
                                 ? "no vertex and face counts: the input holds no token"
                                 : "no face count: the input holds a single token"}};
    case Stop::negativeVertexCount:
      return {{ending.input, "negative vertexCount " + std::to_string(outcome.counts.vertexCount)}};
    case Stop::outputUnavailable:
      return {{ending.output, std::string(ending.refusal)}};
    case Stop::truncatedVertices:
      return {{ending.input, "the input ends after " + std::to_string(outcome.verticesFound) +
                                 " of " +
                                 plural(std::uint32_t(outcome.counts.vertexCount),
                                        "declared vertex", "declared vertices")}};
  }
  if (outcome.stop == Stop::writeFailed || ending.writeError)
    return {{ending.output,
             "cannot write: " + common::systemReason(ending.writeError ? ending.writeError : EIO)}};
  return std::nullopt;
}

void warn(const Outcome& outcome, std::string_view input, common::Diagnostics& diagnostics) {
  if (outcome.partialFaceTokens > 0)
    diagnostics.warn(input, "the last face has only " +
                                plural(outcome.partialFaceTokens, "index", "indices") +
                                "; dropped");
  if (outcome.indicesOutOfRange > 0)
    diagnostics.warn(input, plural(outcome.indicesOutOfRange, "index", "indices") +
                                " outside 0..65535, stored modulo 65536");
  if (outcome.faceRecords != std::uint64_t(std::int64_t(outcome.counts.faceCount)) ||
      outcome.counts.faceCount < 0)
    diagnostics.warn(input, "faceCount is " + std::to_string(outcome.counts.faceCount) +
                                " but the input holds " +
                                plural(outcome.faceRecords, "face", "faces") +
                                "; all are converted and the header keeps " +
                                std::to_string(outcome.counts.faceCount));
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& console, std::ostream& errors) {
  Echo echo(console);
  common::Diagnostics diagnostics = diagnosticsFor(echo, errors);
  echo.text(banner);
  if (args.size() < 3) {
    echo.text(usageLine);
    echo.flush();
    return common::statusUsage;
  }
  if (args.size() == 4) echo.versionLine(args[3]);
  const std::string& inputPath = args[1];
  const std::string& outputPath = args[2];

  common::FileBuf input;
  if (!input.open(inputPath, "rb"))
    return diagnostics.fail(inputPath, "cannot open: " + common::systemReason(input.error()));
  common::OutputFile output(outputPath);
  std::string refusal;
  // A regular file is converted on two threads; a pipe or a terminal on this one, since a read
  // that never returns would keep a second thread from ever being joined.
  std::error_code ignored;
  ConvertOptions options;
  options.workers = std::filesystem::is_regular_file(inputPath, ignored) ? 2 : 1;
  Outcome outcome = convert(
      input, [&]() { return output.open(inputPath, refusal); }, echo, options);
  // The input is closed first, then the output.
  Ending ending;
  ending.input = inputPath;
  ending.output = outputPath;
  ending.refusal = refusal;
  if (!input.close()) ending.readError = input.error();
  if (output.opened() && !output.close()) ending.writeError = output.error();
  if (outcome.stop == Stop::writeFailed && !ending.writeError) ending.writeError = output.error();
  int status = conclude(outcome, ending, echo, diagnostics);
  if (status == common::statusFailed) output.discard();
  return status;
}

int conclude(const Outcome& outcome, const Ending& ending, Echo& echo,
             common::Diagnostics& diagnostics) {
  if (auto stopped = failure(outcome, ending))
    return diagnostics.fail(stopped->first, stopped->second);
  warn(outcome, ending.input, diagnostics);
  echo.flush();
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
  int status = conclude(outcome, ending, echo, diagnostics);
  bytes = output.str();
  return status;
}

}  // namespace converter
