#include "inspect.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <ostream>

#include "common/diagnostics.h"
#include "common/filebuf.h"
#include "common/output.h"
#include "common/paths.h"
#include "common/program.h"
#include "json.h"
#include "meshtext/writer.h"
#include "preview.h"
#include "report.h"
#include "threedb/summary.h"

namespace inspector {
namespace {

struct Arguments {
  std::string file, dump, svg;
  bool json = false;
};

// Reads the command line; false for a usage error, with the option or name it concerns and the
// reason, both empty when the command line is simply not of the usage's shape.
bool parseArguments(const std::vector<std::string>& args, Arguments& parsed, std::string& what,
                    std::string& reason) {
  bool seenJson = false, seenDump = false, seenSvg = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool* seen = arg == "--json"   ? &seenJson
                 : arg == "--dump" ? &seenDump
                 : arg == "--svg"  ? &seenSvg
                                   : nullptr;
    if (seen && *seen) {
      what = arg;
      reason = "given twice";
      return false;
    }
    if (arg == "--json") {
      parsed.json = seenJson = true;
    } else if (seen && i + 1 < args.size()) {
      *seen = true;
      (arg == "--dump" ? parsed.dump : parsed.svg) = args[++i];
      if (args[i].empty()) {
        what = arg;
        reason = common::emptyPathReason;
        return false;
      }
    } else if (parsed.file.empty() && arg.empty()) {
      reason = common::emptyPathReason;
      return false;
    } else if (parsed.file.empty() && arg[0] != '-') {
      parsed.file = arg;
    } else {
      return false;
    }
  }
  if (parsed.file.empty()) return false;
  // Two results for one file: one of them would be lost.
  std::error_code ec;
  if (seenDump && seenSvg &&
      (common::pathOf(parsed.dump).lexically_normal() ==
           common::pathOf(parsed.svg).lexically_normal() ||
       std::filesystem::equivalent(common::pathOf(parsed.dump), common::pathOf(parsed.svg), ec))) {
    what = parsed.svg;
    reason = "given to both --dump and --svg";
    return false;
  }
  return true;
}

// True for the bits of a signalling NaN: its quiet bit clear, some other fraction bit set. Mesh
// text has no spelling for one: it reads back quiet.
bool signallingNan(std::uint32_t bits) {
  return (bits & 0x7FC00000u) == 0x7F800000u && (bits & 0x003FFFFFu) != 0;
}

// Hands each record to the dump and the preview, those that were asked for.
class Outputs : public threedb::RecordVisitor {
 public:
  std::optional<meshtext::Writer> dump;
  std::unique_ptr<Preview> preview;

  std::uint64_t signallingNans = 0;  // coordinates the dump cannot spell exactly

  void vertex(const threedb::VertexRecord& vertex) override {
    if (dump) {
      dump->writeVertex(vertex.xBits, vertex.yBits, vertex.zBits);
      for (std::uint32_t bits : {vertex.xBits, vertex.yBits, vertex.zBits})
        signallingNans += signallingNan(bits);
    }
    if (preview)
      preview->positions.push_back({threedb::floatFromBits(vertex.xBits),
                                    threedb::floatFromBits(vertex.yBits),
                                    threedb::floatFromBits(vertex.zBits)});
  }
  void face(const threedb::FaceRecord& face) override {
    if (dump) dump->writeFace(face.a, face.b, face.c);
    if (preview) preview->faces.push_back(face);
  }
};

// One run: reads the file, then prints, dumps and draws it. The outputs are put in place only
// once everything has succeeded; whatever fails leaves the previous files as they were.
class Inspection {
 public:
  Inspection(const Arguments& arguments, std::ostream& out, common::Diagnostics& diagnostics)
      : arguments_(arguments), out_(out), diagnostics_(diagnostics) {}

  int run() {
    const std::string& path = arguments_.file;
    if (!input_.open(path, "rb"))
      return fail(path, "cannot open: " + common::systemReason(input_.error()));
    threedb::FileReader reader(input_);
    threedb::Header header;
    if (reader.readHeader(header) != threedb::Problem::none) return invalid(reader);
    if (!arguments_.dump.empty()) {
      std::streambuf* dump = open(dump_, arguments_.dump);
      if (!dump) return common::statusFailed;
      outputs_.dump.emplace(*dump);
      outputs_.dump->writeCounts(header.vertexCount, header.faceCount);
    }
    if (!arguments_.svg.empty()) outputs_.preview = std::make_unique<Preview>();
    threedb::Summary summary;
    threedb::summarise(reader, summary, &outputs_);
    if (input_.error()) return fail(path, "cannot read: " + common::systemReason(input_.error()));
    if (arguments_.json)
      printJson(out_, path, reader.bytesRead(), summary, problemText(reader));
    else
      printSummary(out_, path, reader.bytesRead(), summary);
    if (reader.problem() != threedb::Problem::none) return invalid(reader);
    if (outputs_.dump) outputs_.dump->flush();
    if (outputs_.preview && !drawPreview(summary)) return common::statusFailed;
    return finish(summary);
  }

 private:
  int fail(const std::string& what, const std::string& reason) {
    if (dump_) dump_->discard();
    if (svg_) svg_->discard();
    return diagnostics_.fail(what, reason);
  }

  int invalid(const threedb::FileReader& reader) {
    // A short header may be a read error rather than a short file.
    if (input_.error())
      return fail(arguments_.file, "cannot read: " + common::systemReason(input_.error()));
    return fail(arguments_.file, problemText(reader));
  }

  std::streambuf* open(std::unique_ptr<common::OutputFile>& output, const std::string& path) {
    output = std::make_unique<common::OutputFile>(path);
    std::string reason;
    std::streambuf* stream = output->open(arguments_.file, reason);
    if (!stream) fail(path, reason);
    return stream;
  }

  bool drawPreview(const threedb::Summary& summary) {
    std::streambuf* stream = open(svg_, arguments_.svg);
    if (!stream) return false;
    std::ostream svg(stream);
    writeSvg(svg, *outputs_.preview, summary);
    return true;
  }

  // Every output finished and every word out before anything is put in place: what fails before
  // leaves the previous files as they were, and nothing is left to fail after.
  int finish(const threedb::Summary& summary) {
    for (auto* output : {dump_.get(), svg_.get()}) {
      if (output && !output->finish())
        return fail(output->path(), "cannot write: " + common::systemReason(output->error()));
    }
    out_.flush();
    if (!out_)
      return fail("standard output",
                  "cannot write: " + common::systemReason(common::writeError(out_)));
    if (dump_ && summary.notVertexColour)
      diagnostics_.warn(arguments_.dump, std::to_string(summary.notVertexColour) +
                                             " vertices have a colour other than FF00FF00, "
                                             "which mesh text cannot carry");
    if (dump_ && outputs_.signallingNans)
      diagnostics_.warn(arguments_.dump,
                        std::to_string(outputs_.signallingNans) +
                            (outputs_.signallingNans == 1 ? " coordinate is a signalling NaN"
                                                          : " coordinates are signalling NaNs") +
                            ", which mesh text reads back as quiet");
    if (diagnostics_.failed()) return fail("standard error", "cannot write");
    for (auto* output : {dump_.get(), svg_.get()}) {
      if (output && !output->commit())
        return fail(output->path(), "cannot write: " + common::systemReason(output->error()));
    }
    return common::statusOk;
  }

  const Arguments& arguments_;
  std::ostream& out_;
  common::Diagnostics& diagnostics_;
  common::FileBuf input_;
  std::unique_ptr<common::OutputFile> dump_, svg_;
  Outputs outputs_;
};

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors) {
  common::Diagnostics diagnostics("vorlatic-inspect", errors, [&out] { out.flush(); });
  Arguments arguments;
  try {
    std::string what, reason;
    if (!parseArguments(args, arguments, what, reason)) {
      if (!reason.empty()) diagnostics.report(what, reason);
      out << usage;
      out.flush();
      if (!out)
        return diagnostics.fail("standard output",
                                "cannot write: " + common::systemReason(common::writeError(out)));
      return common::statusUsage;
    }
    if (arguments.json && !jsonAvailable()) {
      diagnostics.report("--json", "this build has no JSON support (it needs nlohmann-json3-dev)");
      return common::statusUsage;
    }
    if (common::consoleIsInput("vorlatic-inspect", arguments.file, out, errors))
      return common::statusFailed;
    return Inspection(arguments, out, diagnostics).run();
  } catch (const std::bad_alloc&) {
    return diagnostics.fail(arguments.file.empty() ? "vorlatic-inspect" : arguments.file,
                            "out of memory");
  }
}

}  // namespace inspector
