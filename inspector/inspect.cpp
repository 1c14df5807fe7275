#include "inspect.h"

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <ostream>

#include "arguments.h"
#include "common/diagnostics.h"
#include "common/filebuf.h"
#include "common/output.h"
#include "common/program.h"
#include "json.h"
#include "meshtext/writer.h"
#include "picture.h"
#include "preview.h"
#include "report.h"
#include "threedb/summary.h"

namespace inspector {
namespace {

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
  std::unique_ptr<Picture> picture;

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
    if (picture) picture->vertices.push_back(deviceVertex(vertex));
  }
  void face(const threedb::FaceRecord& face) override {
    if (dump) dump->writeFace(face.a, face.b, face.c);
    if (preview) preview->faces.push_back(face);
    if (picture) picture->faces.push_back(face);
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
    if (!arguments_.png.empty()) outputs_.picture = std::make_unique<Picture>();
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
    if (outputs_.picture && !drawPicture(summary)) return common::statusFailed;
    return finish(summary);
  }

 private:
  int fail(const std::string& what, const std::string& reason) {
    if (dump_) dump_->discard();
    if (svg_) svg_->discard();
    if (png_) png_->discard();
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

  bool drawPicture(const threedb::Summary& summary) {
    std::streambuf* stream = open(png_, arguments_.png);
    if (!stream) return false;
    const Picture& picture = *outputs_.picture;
    const Drawable drawable = drawableFaces(picture);
    const Camera camera = frameCamera(picture, drawable, arguments_.view, arguments_.size);
    Image image;
    std::string reason;
    if (!render(picture, drawable, camera, arguments_.size, image, reason)) {
      fail(arguments_.png, "cannot draw: " + reason);
      return false;
    }
    const std::string caption = captionText(summary, drawable.skipped);
    drawCaption(image, caption);
    // A failed write shows when the output is finished, with the system's reason.
    if (!writePng(*stream, image, {{"Description", caption}, {"Software", "vorlatic-inspect"}}) &&
        !png_->error()) {
      fail(arguments_.png, "cannot write: libpng failed");
      return false;
    }
    return true;
  }

  // Every output finished and every word out before anything is put in place: what fails before
  // leaves the previous files as they were, and nothing is left to fail after.
  int finish(const threedb::Summary& summary) {
    for (auto* output : {dump_.get(), svg_.get(), png_.get()}) {
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
    for (auto* output : {dump_.get(), svg_.get(), png_.get()}) {
      if (output && !output->commit())
        return fail(output->path(), "cannot write: " + common::systemReason(output->error()));
    }
    return common::statusOk;
  }

  const Arguments& arguments_;
  std::ostream& out_;
  common::Diagnostics& diagnostics_;
  common::FileBuf input_;
  std::unique_ptr<common::OutputFile> dump_, svg_, png_;
  Outputs outputs_;
};

}  // namespace

std::string usage() {
  std::string text =
      "usage: vorlatic-inspect FILE.3db [--json] [--dump OUT.msh] [--svg OUT.svg]\n"
      "                        [--png OUT.png [--size WxH] [--view VIEW]]\n";
  if (!pictureAvailable())
    text += "(this build has no --png: it needs " + std::string(pictureLibraries) + ")\n";
  return text;
}

std::string help() {
  return usage() +
         "Checks a 3DB file and prints a summary of it; status 0 sound, 1 usage, 2 invalid or\n"
         "unreadable.\n"
         "  --json          the summary as one JSON object\n"
         "  --dump OUT.msh  the mesh as mesh text, which vorlatic converts back to the same bytes\n"
         "  --svg OUT.svg   a wireframe seen from the front, the side and the top\n"
         "  --png OUT.png   a picture, drawn with OpenGL from the records as the device draws "
         "them\n"
         "  --size WxH      the picture's size in pixels, each from 1 to 4096 (default 480x272)\n"
         "  --view VIEW     iso (the default: from the front right, above), front, back, left,\n"
         "                  right, top or bottom\n"
         "  --help          this text\n";
}

namespace {

// Prints usage or help text and returns `status`, or fails when the text cannot be written.
int printText(std::ostream& out, common::Diagnostics& diagnostics, const std::string& text,
              int status) {
  out << text;
  out.flush();
  if (!out)
    return diagnostics.fail("standard output",
                            "cannot write: " + common::systemReason(common::writeError(out)));
  return status;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors) {
  common::Diagnostics diagnostics("vorlatic-inspect", errors, [&out] { out.flush(); });
  Arguments arguments;
  try {
    std::string what, reason;
    if (!parseArguments(args, arguments, what, reason)) {
      if (!reason.empty()) diagnostics.report(what, reason);
      return printText(out, diagnostics, usage(), common::statusUsage);
    }
    if (arguments.help) return printText(out, diagnostics, help(), common::statusOk);
    if (arguments.json && !jsonAvailable()) {
      diagnostics.report("--json", "this build has no JSON support (it needs nlohmann-json3-dev)");
      return common::statusUsage;
    }
    if (!arguments.png.empty() && !pictureAvailable()) {
      diagnostics.report(
          "--png", "this build has no --png (it needs " + std::string(pictureLibraries) + ")");
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
