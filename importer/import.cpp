#include "import.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>

#include "common/diagnostics.h"
#include "common/output.h"
#include "common/paths.h"
#include "common/program.h"
#include "isolate.h"
#include "options.h"
#include "progress.h"
#include "report.h"
#include "shape.h"
#include "threedb/format.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace importer {
namespace {

// Part `number` of OUT: STEM-number.EXT beside it.
std::string partPath(const std::string& output, std::size_t number) {
  const std::size_t dot = output.rfind('.');
  return output.substr(0, dot) + '-' + std::to_string(number) + output.substr(dot);
}

// The file the model's reader opened that `output` is, if any: a buffer or a material of the
// model is as much its input as the file named.
const std::string* readBy(const Model& model, const std::string& output) {
  for (const std::string& file : model.filesRead) {
    std::error_code ignored;
    if (std::filesystem::equivalent(common::pathOf(file), common::pathOf(output), ignored))
      return &file;
  }
  return nullptr;
}

// Why the model cannot be read, or an empty string: asked of the system here, whose reasons say
// more than the library's ("No suitable reader" for a folder, "Unable to open" for anything).
std::string unreadable(const std::string& model) {
#ifdef _WIN32
  std::error_code error;
  const std::filesystem::path path = common::pathOf(model);
  if (std::filesystem::is_directory(path, error)) return "cannot read: Is a directory";
  if (!std::filesystem::exists(path, error)) return "cannot open: No such file or directory";
  return {};
#else
  // Not blocking: a named pipe without a writer would hold the open up.
  const int fd = ::open(model.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot open: " + common::systemReason(errno);
  struct stat info {};
  const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  ::close(fd);
  return folder ? "cannot read: " + common::systemReason(EISDIR) : std::string();
#endif
}

// A name for a line of the list: in quotes, control characters escaped.
std::string quoted(const std::string& text) {
  return '"' + (text.empty() ? std::string() : common::printable(text)) + '"';
}

// Prints the model's meshes, one line each, and writes nothing.
int list(const Options& options, std::ostream& out, common::Diagnostics& diagnostics) {
  Model model;
  std::string reason;
  if (!readIsolated(options.model, {}, options.limits, model, reason))
    return diagnostics.fail(options.model, reason);
  for (const MeshEntry& mesh : model.meshList)
    out << "mesh " << quoted(mesh.name) << " in node " << quoted(mesh.node) << ": "
        << common::plural(mesh.triangles, "triangle", "triangles") << ", "
        << common::plural(mesh.vertices, "vertex", "vertices") << ", "
        << (mesh.colours ? "colours" : "no colours") << '\n';
  out.flush();
  if (!out)
    return diagnostics.fail("standard output",
                            "cannot write: " + common::systemReason(common::writeError(out)));
  return diagnostics.failed() ? common::statusFailed : common::statusOk;
}

// Checks the model as read against what was asked of it, and gives it the colours asked for;
// false once a diagnostic has said why it cannot be imported.
bool prepare(const Options& options, Model& model, common::Diagnostics& diagnostics) {
  if (const std::string* file = readBy(model, options.output))
    return diagnostics.fail(options.output, "is the same file as " + *file +
                                                ", which the model reads; not overwriting it"),
           false;
  for (const std::string& name : options.meshes)
    if (std::none_of(model.meshList.begin(), model.meshList.end(),
                     [&](const MeshEntry& mesh) { return mesh.name == name; }))
      return diagnostics.fail(options.model, "--mesh: no mesh is named " + quoted(name)), false;
  if (model.indices.empty())
    return diagnostics.fail(options.model,
                            "no triangles: " + common::plural(model.points, "point", "points") +
                                " and " + common::plural(model.lines, "line", "lines") +
                                ", which a 3DB file cannot hold"),
           false;
  if (options.colour) model.colours.assign(model.vertexCount(), *options.colour);
  const bool coloured =
      std::any_of(model.colours.begin(), model.colours.end(),
                  [](std::uint32_t colour) { return colour != threedb::vertexColour; });
  if (!coloured) std::vector<std::uint32_t>().swap(model.colours);  // one green is no colour
  if (coloured && options.kind == OutputKind::text)
    diagnostics.warn(options.colour ? "--colour" : options.model,
                     options.colour ? "mesh text has no colours"
                                    : "the model's vertex colours are not kept in mesh text");
  // Faces the library could not read (strips, say) leave their vertices unused: nearly all of
  // them unused is a model lost, most of them a model that may have lost faces.
  const std::size_t vertices = model.vertexCount(), used = usedVertices(model.indices, vertices);
  if (used * 100 < vertices)
    return diagnostics.fail(options.model, "only " + std::to_string(used) + " of its " +
                                               std::to_string(vertices) +
                                               " vertices are used by a triangle: its faces "
                                               "were not read"),
           false;
  if (used * 2 < vertices)
    diagnostics.warn(options.model, std::to_string(vertices - used) + " of its " +
                                        std::to_string(vertices) +
                                        " vertices are used by no triangle");
  return true;
}

// What is written where: OUT itself, or its parts beside it, each opened; false once a
// diagnostic has said why one cannot be.
bool openTargets(const Options& options, const Model& model, const Shaped& mesh,
                 common::OutputFile& output, std::streambuf* stream, std::vector<Written>& targets,
                 common::Diagnostics& diagnostics) {
  if (mesh.parts.empty()) {
    targets.push_back({options.output, &mesh, &output, stream, 0, nullptr});
    return true;
  }
  output.discard();
  std::string reason;
  for (std::size_t i = 0; i < mesh.parts.size(); ++i) {
    Written part{partPath(options.output, i + 1), &mesh.parts[i], nullptr, nullptr, 0, nullptr};
    part.owned = std::make_unique<common::OutputFile>(part.path);
    part.file = part.owned.get();
    part.stream = part.file->open(options.model, reason);
    if (!part.stream) return diagnostics.fail(part.path, reason), false;
    if (const std::string* file = readBy(model, part.path))
      return diagnostics.fail(part.path, "is the same file as " + *file +
                                             ", which the model reads; not overwriting it"),
             false;
    // A link among the parts: one part would replace another. Each part opened is there to be
    // compared, a dangling link's as the file it made.
    for (const Written& earlier : targets) {
      std::error_code ignored;
      if (std::filesystem::equivalent(common::pathOf(earlier.path), common::pathOf(part.path),
                                      ignored))
        return diagnostics.fail(part.path, "is the same file as " + earlier.path +
                                               ", another part; not overwriting it"),
               false;
    }
    targets.push_back(std::move(part));
  }
  return true;
}

int import(const Options& options, std::ostream& out, common::Diagnostics& diagnostics,
           Progress& progress) {
  std::string reason = unreadable(options.model);
  if (!reason.empty()) return diagnostics.fail(options.model, reason);
  if (options.list) return list(options, out, diagnostics);
  common::OutputFile output(options.output);
  std::streambuf* stream = output.open(options.model, reason);
  if (!stream) return diagnostics.fail(options.output, reason);
  Model model;
  progress.at("reading", 0);
  if (!readIsolated(options.model, options.meshes, options.limits, model, reason))
    return diagnostics.fail(options.model, reason);
  if (!prepare(options, model, diagnostics)) return common::statusFailed;
  const std::size_t trianglesRead = model.triangleCount();
  Shaped mesh;
  // The shares of a large import's time each step takes, roughly, from the benchmark's.
  progress.at("welding", 45);
  const auto started = [&](const char* step) {
    progress.at(step, std::string(step) == "simplifying" ? 55 : 90);
  };
  if (!shape(model, options.shape, mesh, reason, started))
    return diagnostics.fail(options.model, reason);
  progress.at("writing", 95);
  const auto writing = std::chrono::steady_clock::now();
  // Each output replaced only once all are written and every word is out.
  std::vector<Written> targets;
  if (!openTargets(options, model, mesh, output, stream, targets, diagnostics))
    return common::statusFailed;
  for (Written& target : targets) {
    target.bytes = write(*target.mesh, options.kind, *target.stream);
    if (!target.file->finish())
      return diagnostics.fail(target.path,
                              "cannot write: " + common::systemReason(target.file->error()));
  }
  progress.clear();  // the summary may go to the same terminal
  if (!options.quiet) printSummary(out, options, model, trianglesRead, mesh, targets);
  if (options.times)
    printTimes(out, model, mesh,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - writing).count());
  out.flush();
  if (!out)
    return diagnostics.fail("standard output",
                            "cannot write: " + common::systemReason(common::writeError(out)));
  if (diagnostics.failed()) return common::statusFailed;
  for (Written& target : targets)
    if (!target.file->commit())
      return diagnostics.fail(target.path,
                              "cannot write: " + common::systemReason(target.file->error()));
  return common::statusOk;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors,
        bool errorsOnTerminal) {
  Progress progress(errors);
  common::Diagnostics diagnostics("vorlatic-import", errors, [&] {
    out.flush();
    progress.clear();
  });
  Options options;
  try {
    std::string what, reason;
    const bool parsed = parseOptions(args, options, what, reason);
    if (!parsed && !reason.empty()) {
      // One wrong word: the whole usage would bury the line that names it.
      diagnostics.report(what, reason);
      errors << "Try 'vorlatic-import --help'.\n";
      return common::statusUsage;
    }
    if (!parsed || options.help || options.version) {
      if (options.version)
        out << "vorlatic-import " VORLATIC_VERSION "\n";
      else
        out << usage;
      out.flush();
      if (!out)
        return diagnostics.fail("standard output",
                                "cannot write: " + common::systemReason(common::writeError(out)));
      return parsed ? common::statusOk : common::statusUsage;
    }
    if (common::consoleIsInput("vorlatic-import", options.model, out, errors))
      return common::statusFailed;
    // A line rewritten in place only where someone watches it.
    if (!options.quiet && errorsOnTerminal) progress.enable();
    return import(options, out, diagnostics, progress);
  } catch (const std::bad_alloc&) {
    return diagnostics.fail(options.model.empty() ? "vorlatic-import" : options.model,
                            "out of memory");
  }
}

}  // namespace importer
