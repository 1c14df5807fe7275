#include "inspect.h"

#include <memory>
#include <new>
#include <optional>
#include <ostream>

#include "common/diagnostics.h"
#include "common/filebuf.h"
#include "common/output.h"
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

bool parseArguments(const std::vector<std::string>& args, Arguments& parsed) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--json") {
      parsed.json = true;
    } else if ((args[i] == "--dump" || args[i] == "--svg") && i + 1 < args.size()) {
      (args[i] == "--dump" ? parsed.dump : parsed.svg) = args[i + 1];
      ++i;
    } else if (parsed.file.empty() && !args[i].empty() && args[i][0] != '-') {
      parsed.file = args[i];
    } else {
      return false;
    }
  }
  return !parsed.file.empty();
}

// Hands each record to the dump and the preview, those that were asked for.
class Outputs : public threedb::RecordVisitor {
 public:
  std::optional<meshtext::Writer> dump;
  std::unique_ptr<Preview> preview;

  void vertex(const threedb::VertexRecord& vertex) override {
    if (dump) dump->writeVertex(vertex.xBits, vertex.yBits, vertex.zBits);
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
    output = std::make_unique<common::OutputFile>(path, "vorlatic-inspect");
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

  // The console, then each output in turn: a failure leaves what is not yet in place as it was.
  int finish(const threedb::Summary& summary) {
    out_.flush();
    if (!out_)
      return fail("standard output",
                  "cannot write: " + common::systemReason(common::writeError(out_)));
    for (auto* output : {dump_.get(), svg_.get()}) {
      if (output && !output->commit())
        return fail(output->path(), "cannot write: " + common::systemReason(output->error()));
    }
    if (dump_ && summary.notVertexColour)
      diagnostics_.warn(arguments_.dump, std::to_string(summary.notVertexColour) +
                                             " vertices have a colour other than FF00FF00, "
                                             "which mesh text cannot carry");
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
  Arguments arguments;
  if (!parseArguments(args, arguments)) {
    out << usage;
    out.flush();
    return common::statusUsage;
  }
  common::Diagnostics diagnostics("vorlatic-inspect", errors, [&out] { out.flush(); });
  if (arguments.json && !jsonAvailable()) {
    diagnostics.report("--json", "this build has no JSON support (it needs nlohmann-json3-dev)");
    return common::statusUsage;
  }
  try {
    return Inspection(arguments, out, diagnostics).run();
  } catch (const std::bad_alloc&) {
    return diagnostics.fail(arguments.file, "out of memory");
  }
}

}  // namespace inspector
