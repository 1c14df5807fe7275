#include "inspect.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>

#include "console.h"
#include "filebuf.h"
#include "threedb/reader.h"

namespace vorlatic {
namespace {

// Colours told apart in the summary at most: a hostile file must not grow the table.
constexpr std::size_t colourLimit = 16;

struct Arguments {
  std::string file, dump, svg;
};

bool parseArguments(const std::vector<std::string>& args, Arguments& parsed) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if ((args[i] == "--dump" || args[i] == "--svg") && i + 1 < args.size()) {
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

std::string hex32(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// A coordinate as mesh text that converts back to exactly these bits: nine significant digits
// survive both roundings (to double, then to float) for every finite float.
std::string coordinateText(std::uint32_t bits) {
  const char* sign = bits >> 31 ? "-" : "";
  std::uint32_t fraction = bits & 0x7FFFFFu;
  if ((bits & 0x7F800000u) == 0x7F800000u) {
    if (fraction == 0) return std::string(sign) + "inf";
    // The payload below the quiet bit comes back through the double's top fraction bits.
    char text[40];
    std::snprintf(text, sizeof text, "%snan(0x%llx)", sign,
                  static_cast<unsigned long long>(fraction & 0x3FFFFFu) << 29);
    return text;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", double(threedb::floatFromBits(bits)));
  return text;
}

struct Range {
  float low = std::numeric_limits<float>::infinity();
  float high = -std::numeric_limits<float>::infinity();
  void add(float v) {
    if (!std::isfinite(v)) return;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  bool empty() const { return low > high; }
  float extent() const { return empty() ? 0.0f : high - low; }
};

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

struct Mesh {
  std::vector<std::array<float, 3>> positions;  // kept only for a preview
  std::vector<threedb::FaceRecord> faces;       // likewise
  std::array<Range, 3> box;
  std::uint64_t nonFinite = 0;
  std::map<std::uint32_t, std::uint64_t> colours;
  std::uint64_t otherColours = 0;  // vertices whose colour did not fit the table
  std::uint64_t notConverterColour = 0;
  std::uint32_t smallestIndex = 0xFFFF, largestIndex = 0;
  std::uint64_t indicesBeyond = 0;
};

// Writes the three views of the mesh (front: x right, y up; side: z right, y up; top: x right,
// z down), all at one scale, and a caption.
bool writeSvg(const std::string& path, const Mesh& mesh, const threedb::Header& header,
              std::uint64_t faceRecords) {
  constexpr double panel = 360, margin = 20, captionHeight = 60;
  const double width = 3 * panel + 4 * margin, height = panel + 3 * margin + captionHeight;
  double extent = std::max({mesh.box[0].extent(), mesh.box[1].extent(), mesh.box[2].extent()});
  double scale = extent > 0 ? (panel - 2 * margin) / extent : 1;
  std::size_t stride =
      faceRecords > svgFaceLimit ? std::size_t((faceRecords + svgFaceLimit - 1) / svgFaceLimit) : 1;

  std::ofstream svg(path, std::ios::binary);
  if (!svg) return false;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << width << ' ' << height << "\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  struct View {
    const char* id;
    const char* title;
    int across, up;  // the axes drawn rightwards and upwards
    bool downwards;  // draw the second axis growing downwards instead
  };
  const View views[] = {{"front", "front (x, y)", 0, 1, false},
                        {"side", "side (z, y)", 2, 1, false},
                        {"top", "top (x, z)", 0, 2, true}};
  std::uint64_t drawn = 0, skipped = 0;
  for (int v = 0; v < 3; ++v) {
    const View& view = views[v];
    double left = margin + v * (panel + margin), top = margin;
    double centreX = mesh.box[view.across].empty()
                         ? 0
                         : (double(mesh.box[view.across].low) + mesh.box[view.across].high) / 2;
    double centreY = mesh.box[view.up].empty()
                         ? 0
                         : (double(mesh.box[view.up].low) + mesh.box[view.up].high) / 2;
    svg << "<g id=\"" << view.id << "\">\n"
        << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << panel << "\" height=\""
        << panel << "\" fill=\"none\" stroke=\"#999\"/>\n"
        << "<text x=\"" << left + 6 << "\" y=\"" << top + 16
        << "\" font-family=\"sans-serif\" font-size=\"13\">" << view.title << "</text>\n"
        << "<g fill=\"none\" stroke=\"#1a7f37\" stroke-width=\"0.6\" stroke-linejoin=\"round\">\n";
    drawn = skipped = 0;
    for (std::size_t f = 0; f < mesh.faces.size(); f += stride) {
      const threedb::FaceRecord& face = mesh.faces[f];
      const std::uint16_t corners[3] = {face.a, face.b, face.c};
      std::string points;
      bool drawable = true;
      for (std::uint16_t corner : corners) {
        if (corner >= mesh.positions.size()) {
          drawable = false;
          break;
        }
        double a = mesh.positions[corner][std::size_t(view.across)];
        double b = mesh.positions[corner][std::size_t(view.up)];
        if (!std::isfinite(a) || !std::isfinite(b)) {
          drawable = false;
          break;
        }
        double x = left + panel / 2 + (a - centreX) * scale;
        double y = top + panel / 2 + (view.downwards ? 1 : -1) * (b - centreY) * scale;
        points += number(x) + ',' + number(y) + ' ';
      }
      if (!drawable) {
        ++skipped;
        continue;
      }
      points.pop_back();
      svg << "<polygon points=\"" << points << "\"/>\n";
      ++drawn;
    }
    svg << "</g>\n</g>\n";
  }
  std::string caption = std::to_string(mesh.positions.size()) + " vertices, " +
                        std::to_string(faceRecords) + " faces (faceCount " +
                        std::to_string(header.faceCount) + ")";
  const char* axes = "xyz";
  std::string box;
  for (int a = 0; a < 3; ++a) {
    box += std::string(a ? ", " : "") + axes[a] + ' ';
    box += mesh.box[std::size_t(a)].empty() ? "none"
                                            : number(mesh.box[std::size_t(a)].low) + " .. " +
                                                  number(mesh.box[std::size_t(a)].high);
  }
  std::string sample;
  if (stride > 1)
    sample = "drawn from an even sample: one face in " + std::to_string(stride) + ", " +
             std::to_string(drawn) + " of " + std::to_string(faceRecords);
  if (skipped > 0)
    sample += std::string(sample.empty() ? "" : "; ") + std::to_string(skipped) +
              " faces not drawn (indices beyond the vertices or coordinates not finite)";
  double captionTop = panel + 2 * margin + 16;
  svg << "<g id=\"caption\" font-family=\"sans-serif\" font-size=\"13\">\n"
      << "<text x=\"" << margin << "\" y=\"" << captionTop << "\">" << caption << "</text>\n"
      << "<text x=\"" << margin << "\" y=\"" << captionTop + 18 << "\">bounding box: " << box
      << "</text>\n";
  if (!sample.empty())
    svg << "<text x=\"" << margin << "\" y=\"" << captionTop + 36 << "\">" << sample << "</text>\n";
  svg << "</g>\n</svg>\n";
  svg.flush();
  return bool(svg);
}

}  // namespace

int inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& errors) {
  Arguments arguments;
  if (!parseArguments(args, arguments)) {
    out << inspectUsage;
    out.flush();
    return 1;
  }
  const std::string& path = arguments.file;
  std::ofstream dump;
  // An invalid file leaves no half-written dump or preview behind.
  auto fail = [&](const std::string& what, const std::string& reason) {
    out.flush();
    errors << "vorlatic-inspect: " << what << ": " << reason << '\n';
    errors.flush();
    std::error_code ignored;
    if (dump.is_open()) {
      dump.close();
      std::filesystem::remove(arguments.dump, ignored);
    }
    return 2;
  };

  FileBuf input;
  if (!input.open(path, "rb")) return fail(path, "cannot open: " + systemReason(input.error()));
  threedb::FileReader reader(input);
  threedb::Header header;
  switch (reader.readHeader(header)) {
    case threedb::Problem::none:
      break;
    case threedb::Problem::truncatedHeader:
      if (input.error()) return fail(path, "cannot read: " + systemReason(input.error()));
      return fail(path, "not a 3DB file: " + std::to_string(reader.bytesRead()) +
                            " bytes, fewer than the 15 of a header");
    case threedb::Problem::badMagic:
      return fail(path, "not a 3DB file: it does not begin with \"3DB\"");
    case threedb::Problem::unknownVersion:
      return fail(path, "unknown version " + std::to_string(header.version) + " (expected 1)");
    case threedb::Problem::negativeVertexCount:
      return fail(path, "negative vertexCount " + std::to_string(header.vertexCount));
    default:
      break;
  }

  if (!arguments.dump.empty()) {
    errno = 0;
    dump.open(arguments.dump, std::ios::binary);
    if (!dump) return fail(arguments.dump, "cannot create: " + systemReason(errno ? errno : EIO));
    dump << header.vertexCount << ' ' << header.faceCount << '\n';
  }
  const bool preview = !arguments.svg.empty();
  Mesh mesh;
  threedb::VertexRecord vertex;
  while (reader.readVertex(vertex)) {
    const std::uint32_t bits[3] = {vertex.xBits, vertex.yBits, vertex.zBits};
    std::array<float, 3> position{};
    for (std::size_t a = 0; a < 3; ++a) {
      position[a] = threedb::floatFromBits(bits[a]);
      mesh.box[a].add(position[a]);
      mesh.nonFinite += !std::isfinite(position[a]);
    }
    if (preview) mesh.positions.push_back(position);
    auto colour = mesh.colours.find(vertex.colour);
    if (colour != mesh.colours.end())
      ++colour->second;
    else if (mesh.colours.size() < colourLimit)
      mesh.colours.emplace(vertex.colour, 1);
    else
      ++mesh.otherColours;
    mesh.notConverterColour += vertex.colour != threedb::vertexColour;
    if (dump.is_open())
      dump << coordinateText(bits[0]) << ' ' << coordinateText(bits[1]) << ' '
           << coordinateText(bits[2]) << '\n';
  }
  threedb::FaceRecord face;
  std::uint32_t vertexCount = reader.verticesRead();
  while (reader.readFace(face)) {
    for (std::uint32_t index : {face.a, face.b, face.c}) {
      mesh.smallestIndex = std::min(mesh.smallestIndex, index);
      mesh.largestIndex = std::max(mesh.largestIndex, index);
      mesh.indicesBeyond += index >= vertexCount;
    }
    if (preview) mesh.faces.push_back(face);
    if (dump.is_open()) dump << face.a << ' ' << face.b << ' ' << face.c << '\n';
  }
  if (input.error()) return fail(path, "cannot read: " + systemReason(input.error()));

  const std::uint64_t faces = reader.facesRead();
  out << "file: " << path << " (" << reader.bytesRead() << " bytes)\n"
      << "magic: 3DB, version " << header.version << '\n'
      << "vertexCount: " << header.vertexCount << " (" << reader.verticesRead()
      << " vertex records)\n"
      << "faceCount: " << header.faceCount << " declared, " << faces << " face records present"
      << (faces == std::uint64_t(std::int64_t(header.faceCount)) ? "" : " (they differ)") << '\n';
  out << "bounding box:";
  const char* axes = "xyz";
  for (std::size_t a = 0; a < 3; ++a) {
    out << (a ? ", " : " ") << axes[a] << ' ';
    if (mesh.box[a].empty())
      out << "none";
    else
      out << number(mesh.box[a].low) << " .. " << number(mesh.box[a].high);
  }
  out << (mesh.nonFinite ? "; " + std::to_string(mesh.nonFinite) + " coordinates not finite" : "")
      << '\n';
  out << "colours:";
  if (mesh.colours.empty()) out << " none";
  for (const auto& [colour, count] : mesh.colours) out << ' ' << hex32(colour) << " x " << count;
  if (mesh.otherColours) out << " and " << mesh.otherColours << " vertices of other colours";
  out << '\n';
  out << "indices: ";
  if (faces == 0) {
    out << "none\n";
  } else {
    out << mesh.smallestIndex << " .. " << mesh.largestIndex << ", ";
    if (mesh.indicesBeyond == 0)
      out << "look 0-based; all fit the " << vertexCount << " vertices\n";
    else if (mesh.smallestIndex >= 1 && mesh.largestIndex == vertexCount)
      out << "look 1-based; all fit the " << vertexCount << " vertices counted from 1\n";
    else
      out << mesh.indicesBeyond << " of them beyond the " << vertexCount << " vertices\n";
  }

  switch (reader.problem()) {
    case threedb::Problem::truncatedVertices:
      return fail(path, "truncated: the file ends after " + std::to_string(reader.verticesRead()) +
                            " of " + std::to_string(header.vertexCount) + " vertex records");
    case threedb::Problem::trailingBytes:
      return fail(path, std::to_string(reader.trailingBytes()) +
                            " trailing bytes after the last face record: the size " +
                            std::to_string(reader.bytesRead()) +
                            " does not match 15 + 16 x vertexCount + 6 x face records");
    default:
      break;
  }
  if (dump.is_open()) {
    dump.flush();
    if (!dump) return fail(arguments.dump, "cannot write");
    if (mesh.notConverterColour)
      errors << "vorlatic-inspect: " << arguments.dump << ": warning: " << mesh.notConverterColour
             << " vertices have a colour other than FF00FF00, which mesh text cannot carry\n";
  }
  if (preview && !writeSvg(arguments.svg, mesh, header, faces)) {
    std::error_code ignored;
    std::filesystem::remove(arguments.svg, ignored);
    return fail(arguments.svg, "cannot write");
  }
  out.flush();
  return 0;
}

}  // namespace vorlatic
