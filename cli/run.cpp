#include "run.h"

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

#include "console.h"
#include "conversion.h"
#include "filebuf.h"

namespace vorlatic {
namespace {

namespace fs = std::filesystem;

// The output file, opened only once the input has proved to hold a mesh header, and removed
// again if the run fails, but only when it is a regular file that this run created or truncated:
// a device or a pipe given as output is never removed.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path) : path_(path) {}

  // Opens the output; on failure returns nullptr and leaves the reason in `reason`.
  std::streambuf* open(const std::string& inputPath, std::string& reason) {
    std::error_code ignored;
    // Checked before opening: opening would truncate the input itself.
    if (fs::equivalent(inputPath, path_, ignored)) {
      reason = "is the same file as the input " + inputPath + "; not overwriting it";
      return nullptr;
    }
    fs::file_type before = fs::status(path_, ignored).type();
    if (!buffer_.open(path_, "wb")) {
      reason = "cannot create: " + systemReason(buffer_.error());
      return nullptr;
    }
    opened_ = true;
    if (before == fs::file_type::not_found || before == fs::file_type::regular) {
      fs::path real = fs::canonical(path_, ignored);
      if (!ignored && fs::is_regular_file(real, ignored)) removable_ = real;
    }
    return &buffer_;
  }

  bool opened() const { return opened_; }
  int error() const { return buffer_.error(); }
  bool close() { return buffer_.close(); }

  void discard() {
    if (removable_.empty()) return;
    std::error_code ignored;
    fs::remove(removable_, ignored);
  }

 private:
  std::string path_;
  FileBuf buffer_;
  bool opened_ = false;
  fs::path removable_;
};

std::string plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& console, std::ostream& errors) {
  Echo echo(console);
  echo.text(banner);
  if (args.size() < 3) {
    echo.text(usageLine);
    echo.flush();
    return statusUsage;
  }
  if (args.size() == 4) echo.versionLine(args[3]);
  const std::string& inputPath = args[1];
  const std::string& outputPath = args[2];

  FileBuf input;
  if (!input.open(inputPath, "rb")) {
    diagnose(echo, errors, inputPath, "cannot open: " + systemReason(input.error()));
    return statusFailed;
  }
  OutputFile output(outputPath);
  std::string refusal;
  // A regular file is converted on two threads; a pipe or a terminal on this one, since a read
  // that never returns would keep a second thread from ever being joined.
  std::error_code ignored;
  ConvertOptions options;
  options.workers = fs::is_regular_file(inputPath, ignored) ? 2 : 1;
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
  int status = conclude(outcome, ending, echo, errors);
  if (status == statusFailed) output.discard();
  return status;
}

int conclude(const Outcome& outcome, const Ending& ending, Echo& echo, std::ostream& errors) {
  auto fail = [&](std::string_view what, const std::string& reason) {
    diagnose(echo, errors, what, reason);
    return statusFailed;
  };
  // A read error ends the input early, so it explains whatever the conversion then lacked.
  if (ending.readError) return fail(ending.input, "cannot read: " + systemReason(ending.readError));
  switch (outcome.stop) {
    case Stop::none:
    case Stop::writeFailed:
      break;
    case Stop::missingCounts:
      return fail(ending.input, outcome.countTokens == 0
                                    ? "no vertex and face counts: the input holds no token"
                                    : "no face count: the input holds a single token");
    case Stop::negativeVertexCount:
      return fail(ending.input,
                  "negative vertexCount " + std::to_string(outcome.counts.vertexCount));
    case Stop::outputUnavailable:
      return fail(ending.output, std::string(ending.refusal));
    case Stop::truncatedVertices:
      return fail(ending.input, "the input ends after " + std::to_string(outcome.verticesFound) +
                                    " of " +
                                    plural(std::uint32_t(outcome.counts.vertexCount),
                                           "declared vertex", "declared vertices"));
  }
  if (outcome.stop == Stop::writeFailed || ending.writeError)
    return fail(ending.output,
                "cannot write: " + systemReason(ending.writeError ? ending.writeError : EIO));

  if (outcome.partialFaceTokens > 0)
    diagnose(echo, errors, ending.input,
             "warning: the last face has only " +
                 plural(outcome.partialFaceTokens, "index", "indices") + "; dropped");
  if (outcome.indicesOutOfRange > 0)
    diagnose(echo, errors, ending.input,
             "warning: " + plural(outcome.indicesOutOfRange, "index", "indices") +
                 " outside 0..65535, stored modulo 65536");
  if (outcome.faceRecords != std::uint64_t(std::int64_t(outcome.counts.faceCount)) ||
      outcome.counts.faceCount < 0)
    diagnose(echo, errors, ending.input,
             "warning: faceCount is " + std::to_string(outcome.counts.faceCount) +
                 " but the input holds " + plural(outcome.faceRecords, "face", "faces") +
                 "; all are converted and the header keeps " +
                 std::to_string(outcome.counts.faceCount));
  echo.flush();
  return statusConverted;
}

int convertInMemory(std::string_view text, std::string& bytes, std::ostream& console,
                    std::ostream& errors, const ConvertOptions& options) {
  std::stringbuf input(std::string(text), std::ios::in);
  std::stringbuf output(std::ios::out);
  Echo echo(console);
  Outcome outcome = convert(
      input, [&]() { return &output; }, echo, options);
  Ending ending;
  ending.input = "<input>";
  ending.output = "<output>";
  int status = conclude(outcome, ending, echo, errors);
  bytes = output.str();
  return status;
}

}  // namespace vorlatic
