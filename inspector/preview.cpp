#include "preview.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/figures.h"
#include "report.h"

namespace inspector {
namespace {

constexpr double panel = 360, margin = 20, captionHeight = 60;

struct View {
  const char* id;
  const char* title;
  std::size_t across, up;  // the axes drawn rightwards and upwards
  bool downwards;          // draw the second axis growing downwards instead
};

constexpr View views[] = {{"front", "front (x, y)", 0, 1, false},
                          {"side", "side (z, y)", 2, 1, false},
                          {"top", "top (x, z)", 0, 2, true}};

double centre(const threedb::Range& range) {
  return range.empty() ? 0 : (double(range.low) + range.high) / 2;
}

struct Drawing {
  const Preview& preview;
  const threedb::Summary& summary;
  std::size_t stride;  // one face drawn in `stride`
  double scale;
  std::uint64_t drawn = 0, skipped = 0;

  // The face's corners in panel coordinates; empty when it cannot be drawn.
  std::string points(const threedb::FaceRecord& face, const View& view, double left, double top) {
    const double centreX = centre(summary.box[view.across]);
    const double centreY = centre(summary.box[view.up]);
    std::string text;
    for (std::uint16_t corner : {face.a, face.b, face.c}) {
      if (corner >= preview.positions.size()) return {};
      double a = preview.positions[corner][view.across];
      double b = preview.positions[corner][view.up];
      if (!std::isfinite(a) || !std::isfinite(b)) return {};
      double x = left + panel / 2 + (a - centreX) * scale;
      double y = top + panel / 2 + (view.downwards ? 1 : -1) * (b - centreY) * scale;
      text += common::numberText(x) + ',' + common::numberText(y) + ' ';
    }
    text.pop_back();
    return text;
  }

  void view(std::ostream& svg, const View& view, double left) {
    const double top = margin;
    svg << "<g id=\"" << view.id << "\">\n"
        << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << panel << "\" height=\""
        << panel << "\" fill=\"none\" stroke=\"#999\"/>\n"
        << "<text x=\"" << left + 6 << "\" y=\"" << top + 16
        << "\" font-family=\"sans-serif\" font-size=\"13\">" << view.title << "</text>\n"
        << "<g fill=\"none\" stroke=\"#1a7f37\" stroke-width=\"0.6\" stroke-linejoin=\"round\">\n";
    drawn = skipped = 0;
    for (std::size_t f = 0; f < preview.faces.size(); f += stride) {
      std::string corners = points(preview.faces[f], view, left, top);
      if (corners.empty()) {
        ++skipped;
        continue;
      }
      svg << "<polygon points=\"" << corners << "\"/>\n";
      ++drawn;
    }
    svg << "</g>\n</g>\n";
  }

  void caption(std::ostream& svg) const {
    const std::uint64_t faces = summary.faces;
    std::string counts = std::to_string(preview.positions.size()) + " vertices, " +
                         std::to_string(faces) + " faces (faceCount " +
                         std::to_string(summary.header.faceCount) + ")";
    std::string sample;
    if (stride > 1)
      sample = "drawn from an even sample: one face in " + std::to_string(stride) + ", " +
               std::to_string(drawn) + " of " + std::to_string(faces);
    if (skipped > 0)
      sample += std::string(sample.empty() ? "" : "; ") + std::to_string(skipped) +
                " faces not drawn (indices beyond the vertices or coordinates not finite)";
    double captionTop = panel + 2 * margin + 16;
    svg << "<g id=\"caption\" font-family=\"sans-serif\" font-size=\"13\">\n"
        << "<text x=\"" << margin << "\" y=\"" << captionTop << "\">" << counts << "</text>\n"
        << "<text x=\"" << margin << "\" y=\"" << captionTop + 18
        << "\">bounding box: " << boxText(summary.box) << "</text>\n";
    if (!sample.empty())
      svg << "<text x=\"" << margin << "\" y=\"" << captionTop + 36 << "\">" << sample
          << "</text>\n";
    svg << "</g>\n";
  }
};

}  // namespace

void writeSvg(std::ostream& svg, const Preview& preview, const threedb::Summary& summary) {
  const double width = 3 * panel + 4 * margin, height = panel + 3 * margin + captionHeight;
  double extent =
      std::max({summary.box[0].extent(), summary.box[1].extent(), summary.box[2].extent()});
  std::uint64_t faces = summary.faces;
  std::size_t stride =
      faces > svgFaceLimit ? std::size_t((faces + svgFaceLimit - 1) / svgFaceLimit) : 1;
  Drawing drawing{preview, summary, stride, extent > 0 ? (panel - 2 * margin) / extent : 1};

  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << width << ' ' << height << "\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  for (std::size_t v = 0; v < 3; ++v)
    drawing.view(svg, views[v], margin + double(v) * (panel + margin));
  drawing.caption(svg);
  svg << "</svg>\n";
}

}  // namespace inspector
