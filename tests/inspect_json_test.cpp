// vorlatic-inspect --json: every field of the summary.
#include "inspect_support.h"

#ifdef VORLATIC_JSON
#include <nlohmann/json.hpp>

namespace {

using namespace inspect_testing;
using testing_support::goldenBytes;
using testing_support::writeFile;

const char* alignment =
    "load the file one byte past a 16-byte boundary: both sections then start on 16-byte "
    "boundaries";

// Every field of the JSON summary: all of them on the worked example, then what differs on golden
// and made files that reach the other cases.
TEST_F(Inspect, JsonHoldsEveryFieldOfTheSummary) {
  using nlohmann::json;
  const json overview = json::parse(R"({"bytes": 69, "version": 1,
    "vertexCount": 3, "vertexRecords": 3, "faceCount": 1, "faceRecords": 1,
    "boundingBox": {"x": {"low": 0, "high": 1}, "y": {"low": 0, "high": 1},
                    "z": {"low": 0, "high": 0}},
    "nonFiniteCoordinates": 0, "colours": [{"colour": "FF00FF00", "vertices": 3}],
    "otherColourVertices": 0,
    "indices": {"smallest": 0, "largest": 2, "base": "0-based", "beyondVertices": 0},
    "device": {"vertexBytes": 48, "indexBytes": 6, "drawCalls": 1,
               "maxIndicesPerDrawCall": 65535, "indicesFitVertices": true,
               "vertexOffset": 15, "faceOffset": 63, "alignment": ""},
    "problem": null})");
  std::string many = "3 30000\n0 0 0\n1 0 0\n0 1 0\n";
  for (int i = 0; i < 30000; ++i) many += "0 1 2\n";
  const struct {
    std::string bytes;
    int status;
    const char* differences;  // merged into the worked example's fields
  } cases[] = {
      {goldenBytes("overview.3db.hex"), 0, "{}"},
      {goldenBytes("spellings.3db.hex"), 0, R"({"bytes": 65, "vertexCount": 2,
        "vertexRecords": 2, "faceCount": 2, "faceRecords": 3,
        "boundingBox": {"x": {"high": 0.10000000149011612}, "y": {"low": -25, "high": 8},
                        "z": {"low": 3, "high": 3}},
        "nonFiniteCoordinates": 1, "colours": [{"colour": "FF00FF00", "vertices": 2}],
        "indices": {"largest": 65534, "base": "beyond", "beyondVertices": 2},
        "device": {"vertexBytes": 32, "indexBytes": 18, "indicesFitVertices": false,
                   "faceOffset": 47}})"},
      {converted(many), 0, R"({"bytes": 180063, "faceCount": 30000, "faceRecords": 30000,
        "device": {"indexBytes": 180000, "drawCalls": 2}})"},
      {goldenBytes("overview.3db.hex") + "\1\2", 2, R"({"bytes": 71, "problem":
        "2 trailing bytes after the last face record: the size 71 does not match 15 + 16 x vertexCount + 6 x face records"})"},
  };
  for (const auto& c : cases) {
    writeFile(file, c.bytes);
    Result r = inspectWith({"vorlatic-inspect", file.string(), "--json"});
    EXPECT_EQ(r.status, c.status) << r.err;
    json expected = overview;
    expected.merge_patch(json::parse(c.differences));
    expected["file"] = file.string();
    expected["device"]["alignment"] = alignment;
    EXPECT_EQ(json::parse(r.out), expected) << r.out;
  }
}

}  // namespace
#endif
