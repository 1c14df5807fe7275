#include "json.h"

#ifdef VORLATIC_JSON
#include <nlohmann/json.hpp>
#endif

#include <cstdio>

namespace inspector {

#ifdef VORLATIC_JSON
namespace {

using Json = nlohmann::ordered_json;

const char* baseName(threedb::IndexBase base) {
  switch (base) {
    case threedb::IndexBase::none:
      return "none";
    case threedb::IndexBase::zeroBased:
      return "0-based";
    case threedb::IndexBase::oneBased:
      return "1-based";
    case threedb::IndexBase::beyond:
      return "beyond";
  }
  return "";
}

Json box(const threedb::Summary& summary) {
  Json box = Json::object();
  const char* axes[] = {"x", "y", "z"};
  for (std::size_t a = 0; a < 3; ++a) {
    const threedb::Range& range = summary.box[a];
    box[axes[a]] = range.empty() ? Json(nullptr)
                                 : Json{{"low", double(range.low)}, {"high", double(range.high)}};
  }
  return box;
}

Json device(const threedb::Summary& summary) {
  const threedb::DeviceFigures figures = threedb::deviceFigures(summary);
  return Json{{"vertexBytes", figures.vertexBytes},
              {"indexBytes", figures.indexBytes},
              {"drawCalls", figures.drawCalls},
              {"maxIndicesPerDrawCall", threedb::maxIndicesPerDrawCall},
              {"indicesFitVertices", figures.indicesFit},
              {"vertexOffset", figures.vertexOffset},
              {"faceOffset", figures.faceOffset},
              {"alignment",
               "load the file one byte past a 16-byte boundary: both sections then start on "
               "16-byte boundaries"}};
}

}  // namespace

bool jsonAvailable() noexcept { return true; }

void printJson(std::ostream& out, const std::string& path, std::uint64_t bytes,
               const threedb::Summary& summary, const std::string& problem) {
  Json colours = Json::array();
  for (const auto& [colour, count] : summary.colours) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", colour);
    colours.push_back(Json{{"colour", hex}, {"vertices", count}});
  }
  const bool anyIndex = summary.faces > 0;
  Json object{{"file", path},
              {"bytes", bytes},
              {"version", summary.header.version},
              {"vertexCount", summary.header.vertexCount},
              {"vertexRecords", summary.vertices},
              {"faceCount", summary.header.faceCount},
              {"faceRecords", summary.faces},
              {"boundingBox", box(summary)},
              {"nonFiniteCoordinates", summary.nonFinite},
              {"colours", colours},
              {"otherColourVertices", summary.otherColours},
              {"indices", Json{{"smallest", anyIndex ? Json(summary.smallestIndex) : Json(nullptr)},
                               {"largest", anyIndex ? Json(summary.largestIndex) : Json(nullptr)},
                               {"base", baseName(summary.indexBase())},
                               {"beyondVertices", summary.indicesBeyond}}},
              {"device", device(summary)},
              {"problem", problem.empty() ? Json(nullptr) : Json(problem)}};
  // A name that is not UTF-8 (POSIX names are bytes) is written with replacement characters.
  out << object.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}
#else
bool jsonAvailable() noexcept { return false; }

void printJson(std::ostream&, const std::string&, std::uint64_t, const threedb::Summary&,
               const std::string&) {}
#endif

}  // namespace inspector
