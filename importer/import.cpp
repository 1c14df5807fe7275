#include "import.h"

#include <chrono>
#include <cstdio>
#include <new>

#include "common/diagnostics.h"
#include "common/output.h"
#include "common/program.h"
#include "isolate.h"
#include "meshtext/writer.h"
#include "options.h"
#include "shape.h"
#include "threedb/summary.h"
#include "threedb/writer.h"

namespace importer {
namespace {

std::string plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

// Writes the mesh to `stream` as the output's kind asks; returns the bytes written.
std::uint64_t write(const Shaped& mesh, OutputKind kind, std::streambuf& stream) {
  const auto vertices = std::int32_t(mesh.positions.size() / 3);
  const auto faces = std::int32_t(mesh.indices.size() / 3);
  const auto bits = [&](std::size_t i) { return threedb::floatBits(mesh.positions[i]); };
  if (kind == OutputKind::binary) {
    threedb::Writer writer(stream);
    writer.writeHeader(vertices, faces);
    for (std::size_t i = 0; i < mesh.positions.size(); i += 3)
      writer.writeVertexBits(bits(i), bits(i + 1), bits(i + 2));
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3)
      writer.writeFace(std::uint16_t(mesh.indices[t]), std::uint16_t(mesh.indices[t + 1]),
                       std::uint16_t(mesh.indices[t + 2]));
    writer.flush();
    return writer.bytesWritten();
  }
  meshtext::Writer writer(stream);
  writer.writeCounts(vertices, faces);
  for (std::size_t i = 0; i < mesh.positions.size(); i += 3)
    writer.writeVertex(bits(i), bits(i + 1), bits(i + 2));
  for (std::size_t t = 0; t < mesh.indices.size(); t += 3)
    writer.writeFace(mesh.indices[t], mesh.indices[t + 1], mesh.indices[t + 2]);
  writer.flush();
  return writer.bytesWritten();
}

// `model` as read, before shaping took its arrays.
void printSummary(std::ostream& out, const Options& options, const Model& model,
                  std::size_t trianglesRead, const Shaped& mesh, std::uint64_t bytes) {
  threedb::Summary box;
  for (std::size_t i = 0; i < mesh.positions.size(); i += 3)
    box.addVertex({threedb::vertexColour, threedb::floatBits(mesh.positions[i]),
                   threedb::floatBits(mesh.positions[i + 1]),
                   threedb::floatBits(mesh.positions[i + 2])});
  const std::size_t triangles = mesh.indices.size() / 3;
  out << "read: " << options.model << " (" << model.format << "), " << model.meshes
      << (model.meshes == 1 ? " mesh\n" : " meshes joined\n") << "triangles: " << trianglesRead
      << " read (" << plural(model.polygons, "polygon", "polygons") << " triangulated); "
      << plural(model.points, "point", "points") << " and " << plural(model.lines, "line", "lines")
      << " dropped\n"
      << "vertices: " << mesh.verticesRead << " read, " << mesh.verticesWelded << " after welding; "
      << plural(mesh.degenerate, "degenerate triangle", "degenerate triangles") << " dropped\n";
  if (mesh.passes > 0)
    out << "simplified: " << mesh.trianglesBefore << " to " << triangles << " triangles in "
        << mesh.passes << (mesh.passes == 1 ? " pass" : " passes") << ", largest error "
        << threedb::numberText(mesh.error) << '\n';
  out << "bounding box: " << threedb::boxText(box) << '\n'
      << "written: " << options.output << ", " << bytes << " bytes ("
      << plural(mesh.positions.size() / 3, "vertex", "vertices") << ", "
      << plural(triangles, "triangle", "triangles") << ")\n";
}

void printTimes(std::ostream& out, const Model& model, const Shaped& mesh, double writeSeconds) {
  const std::pair<const char*, double> steps[] = {
      {"reading", model.readSeconds - model.triangulateSeconds},
      {"triangulating", model.triangulateSeconds},
      {"welding", mesh.weldSeconds},
      {"simplifying", mesh.simplifySeconds},
      {"ordering", mesh.orderSeconds},
      {"writing", writeSeconds}};
  out << "seconds:";
  for (const auto& [step, seconds] : steps) {
    char text[32];
    std::snprintf(text, sizeof text, " %s %.3f", step, seconds);
    out << text << (step == steps[5].first ? "\n" : ",");
  }
}

int import(const Options& options, std::ostream& out, common::Diagnostics& diagnostics) {
  common::OutputFile output(options.output);
  std::string reason;
  std::streambuf* stream = output.open(options.model, reason);
  if (!stream) return diagnostics.fail(options.output, reason);
  Model model;
  if (!readIsolated(options.model, options.limits, model, reason))
    return diagnostics.fail(options.model, reason);
  if (model.indices.empty())
    return diagnostics.fail(
        options.model, "no triangles: " + plural(model.points, "point", "points") + " and " +
                           plural(model.lines, "line", "lines") + ", which a 3DB file cannot hold");
  const std::size_t trianglesRead = model.triangleCount();
  Shaped mesh;
  if (!shape(model, options.shape, mesh, reason)) return diagnostics.fail(options.model, reason);
  const auto writing = std::chrono::steady_clock::now();
  std::uint64_t bytes = write(mesh, options.kind, *stream);
  if (!output.finish())
    return diagnostics.fail(options.output,
                            "cannot write: " + common::systemReason(output.error()));
  if (!options.quiet) printSummary(out, options, model, trianglesRead, mesh, bytes);
  if (options.times)
    printTimes(out, model, mesh,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - writing).count());
  out.flush();
  if (!out) {
    output.discard();
    return diagnostics.fail("standard output",
                            "cannot write: " + common::systemReason(common::writeError(out)));
  }
  if (diagnostics.failed()) {
    output.discard();
    return common::statusFailed;
  }
  if (!output.commit())
    return diagnostics.fail(options.output,
                            "cannot write: " + common::systemReason(output.error()));
  return common::statusOk;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors) {
  common::Diagnostics diagnostics("vorlatic-import", errors, [&out] { out.flush(); });
  Options options;
  try {
    std::string what, reason;
    if (!parseOptions(args, options, what, reason)) {
      if (!reason.empty()) diagnostics.report(what, reason);
      out << usage;
      out.flush();
      if (!out)
        return diagnostics.fail("standard output",
                                "cannot write: " + common::systemReason(common::writeError(out)));
      return common::statusUsage;
    }
    if (common::consoleIsInput("vorlatic-import", options.model, out, errors))
      return common::statusFailed;
    return import(options, out, diagnostics);
  } catch (const std::bad_alloc&) {
    return diagnostics.fail(options.model.empty() ? "vorlatic-import" : options.model,
                            "out of memory");
  }
}

}  // namespace importer
