#include "report.h"

#include <array>

#include "common/diagnostics.h"
#include "common/figures.h"
#include "meshtext/writer.h"
#include "threedb/summary.h"
#include "threedb/writer.h"

namespace importer {

std::uint64_t write(const Shaped& mesh, OutputKind kind, std::streambuf& stream) {
  const auto vertices = std::int32_t(mesh.positions.size() / 3);
  const auto faces = std::int32_t(mesh.indices.size() / 3);
  const auto bits = [&](std::size_t i) { return threedb::floatBits(mesh.positions[i]); };
  if (kind == OutputKind::binary) {
    threedb::Writer writer(stream);
    writer.writeHeader(vertices, faces);
    for (std::size_t i = 0; i < mesh.positions.size(); i += 3)
      writer.writeVertexBits(bits(i), bits(i + 1), bits(i + 2),
                             mesh.colours.empty() ? threedb::vertexColour : mesh.colours[i / 3]);
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

void printSummary(std::ostream& out, const Options& options, const Model& model,
                  std::size_t trianglesRead, const Shaped& mesh,
                  const std::vector<Written>& written) {
  threedb::Box box;
  threedb::addPositions(box, mesh.positions.data(), mesh.positions.size() / 3);
  const std::size_t triangles = mesh.indices.size() / 3;
  out << "read: " << options.model << " (" << model.format << "), " << model.meshes
      << (model.meshes == 1 ? " mesh\n" : " meshes joined\n") << "triangles: " << trianglesRead
      << " read (" << common::plural(model.polygons, "polygon", "polygons") << " triangulated); "
      << common::plural(model.points, "point", "points") << " and "
      << common::plural(model.lines, "line", "lines") << " dropped\n"
      << "corners: " << model.corners << " read, " << mesh.verticesWelded
      << " vertices after welding; "
      << common::plural(mesh.degenerate, "degenerate triangle", "degenerate triangles")
      << " dropped\n";
  if (mesh.passes > 0)
    out << "simplified: " << mesh.trianglesBefore << " to " << triangles << " triangles in "
        << mesh.passes << (mesh.passes == 1 ? " pass" : " passes")
        << ", largest distance from an original vertex to the result "
        << common::numberText(mesh.deviation) << " (in the output's units)\n";
  if (!mesh.parts.empty())
    out << "split: " << common::plural(mesh.positions.size() / 3, "vertex", "vertices") << " into "
        << mesh.parts.size() << " parts of at most "
        << options.shape.maxVertices.value_or(maxDeviceVertices) << " vertices each\n";
  out << "bounding box: " << common::boxText(threedb::bounds(box)) << '\n';
  for (const Written& target : written)
    out << "written: " << target.path << ", " << target.bytes << " bytes ("
        << common::plural(target.mesh->positions.size() / 3, "vertex", "vertices") << ", "
        << common::plural(target.mesh->indices.size() / 3, "triangle", "triangles") << ")\n";
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

}  // namespace importer
