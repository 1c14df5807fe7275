// vorlatic-inspect --svg: a well-formed preview, a polygon a face, an even sample of a large mesh.
#include <gtest/gtest.h>

#include <string>

#include "inspect_support.h"

namespace {

using namespace inspect_testing;
using testing_support::readFile;
using testing_support::writeFile;

// Well-formed XML: balanced elements, quoted attributes, no stray '<' or '&'. Returns the
// problem, or an empty string.
std::string xmlProblem(const std::string& xml) {
  std::vector<std::string> open;
  std::size_t i = xml.rfind("<?xml", 0) == 0 ? xml.find("?>") + 2 : 0;
  while (i < xml.size()) {
    if (xml[i] == '&') {
      std::size_t end = xml.find(';', i);
      if (end == std::string::npos || end - i > 6) return "stray & at " + std::to_string(i);
      i = end + 1;
    } else if (xml[i] != '<') {
      ++i;
    } else if (xml.compare(i, 2, "</") == 0) {
      std::size_t end = xml.find('>', i);
      if (end == std::string::npos || open.empty() || xml.substr(i + 2, end - i - 2) != open.back())
        return "unbalanced close at " + std::to_string(i);
      open.pop_back();
      i = end + 1;
    } else {
      std::size_t p = i + 1;
      while (p < xml.size() && (std::isalnum(static_cast<unsigned char>(xml[p])) || xml[p] == '-'))
        ++p;
      std::string name = xml.substr(i + 1, p - i - 1);
      if (name.empty()) return "bad element at " + std::to_string(i);
      for (;;) {
        while (p < xml.size() && std::isspace(static_cast<unsigned char>(xml[p]))) ++p;
        if (xml.compare(p, 2, "/>") == 0) {
          p += 2;
          break;
        }
        if (p < xml.size() && xml[p] == '>') {
          open.push_back(name);
          ++p;
          break;
        }
        std::size_t eq = xml.find('=', p);
        if (eq == std::string::npos || xml[eq + 1] != '"')
          return "bad attribute at " + std::to_string(p);
        std::size_t close = xml.find('"', eq + 2);
        if (close == std::string::npos) return "unclosed attribute at " + std::to_string(p);
        std::string value = xml.substr(eq + 2, close - eq - 2);
        if (value.find_first_of("<&") != std::string::npos)
          return "bad value at " + std::to_string(p);
        p = close + 1;
      }
      i = p;
    }
  }
  return open.empty() ? "" : "unclosed <" + open.back() + ">";
}

std::size_t polygonsIn(const std::string& svg, const std::string& view) {
  std::size_t start = svg.find("<g id=\"" + view + "\">");
  std::size_t end = svg.find("<g id=", start + 1);
  std::size_t count = 0;
  for (std::size_t at = svg.find("<polygon ", start); at < end; at = svg.find("<polygon ", at + 1))
    ++count;
  return count;
}

TEST_F(Inspect, PreviewIsWellFormedWithAPolygonPerFaceInEachView) {
  writeFile(file, converted(readFile(VORLATIC_EXAMPLES_DIR "/cube.msh")));
  ASSERT_EQ(inspectWith({"vorlatic-inspect", file.string(), "--svg", svg.string()}).status, 0);
  std::string preview = readFile(svg);
  EXPECT_EQ(xmlProblem(preview), "");
  for (const char* view : {"front", "side", "top"}) EXPECT_EQ(polygonsIn(preview, view), 12u);
  EXPECT_NE(preview.find("8 vertices, 12 faces (faceCount 12)"), std::string::npos);
}

TEST_F(Inspect, PreviewOfALargeMeshDrawsAnEvenSample) {
  std::string text = "3 450000\n0 0 0\n1 0 0\n0 1 1\n";
  for (int i = 0; i < 450000; ++i) text += "0 1 2\n";
  writeFile(file, converted(text));
  ASSERT_EQ(inspectWith({"vorlatic-inspect", file.string(), "--svg", svg.string()}).status, 0);
  std::string preview = readFile(svg);
  EXPECT_EQ(xmlProblem(preview), "");
  EXPECT_EQ(polygonsIn(preview, "top"), 150000u);
  EXPECT_NE(preview.find("drawn from an even sample: one face in 3, 150000 of 450000"),
            std::string::npos);
}

}  // namespace
