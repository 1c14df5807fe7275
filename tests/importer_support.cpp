#include "importer_support.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "import.h"
#include "run.h"  // the converter, for the text output's round trip
#include "threedb/reader.h"

using testing_support::readFile;
using testing_support::writeFile;

namespace importer_support {

Triangle canonical(Triangle t) {
  std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
  return t;
}

std::vector<Triangle> canonical(std::vector<Triangle> triangles) {
  for (Triangle& t : triangles) t = canonical(t);
  std::sort(triangles.begin(), triangles.end());
  return triangles;
}

std::vector<Triangle> trianglesOf(const std::string& bytes) {
  std::stringbuf input(bytes);
  threedb::FileReader reader(input);
  threedb::Header header;
  EXPECT_EQ(int(reader.readHeader(header)), int(threedb::Problem::none));
  std::vector<Point> points;
  threedb::VertexRecord v;
  while (reader.readVertex(v))
    points.push_back({threedb::floatFromBits(v.xBits), threedb::floatFromBits(v.yBits),
                      threedb::floatFromBits(v.zBits)});
  std::vector<Triangle> triangles;
  threedb::FaceRecord f;
  while (reader.readFace(f)) triangles.push_back({points.at(f.a), points.at(f.b), points.at(f.c)});
  EXPECT_EQ(int(reader.problem()), int(threedb::Problem::none));
  EXPECT_EQ(std::size_t(header.faceCount), triangles.size());
  return canonical(triangles);
}

double area(const Triangle& t) {
  double u[3], w[3];
  for (int i = 0; i < 3; ++i) u[i] = double(t[1][i]) - t[0][i], w[i] = double(t[2][i]) - t[0][i];
  double c[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
  return std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) / 2;
}

std::vector<Coloured> colouredVertices(const std::string& bytes) {
  std::stringbuf input(bytes);
  threedb::FileReader reader(input);
  threedb::Header header;
  EXPECT_EQ(int(reader.readHeader(header)), int(threedb::Problem::none));
  std::vector<Coloured> vertices;
  threedb::VertexRecord v;
  while (reader.readVertex(v))
    vertices.push_back({{threedb::floatFromBits(v.xBits), threedb::floatFromBits(v.yBits),
                         threedb::floatFromBits(v.zBits)},
                        v.colour});
  std::sort(vertices.begin(), vertices.end());
  return vertices;
}

std::string base64(const std::string& bytes) {
  const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = std::uint32_t(std::uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= std::uint8_t(bytes[i + 2]);
    for (std::size_t k = 0; k < 4; ++k)
      text += i + k <= bytes.size() ? digits[group >> (18 - 6 * k) & 63] : '=';
  }
  return text;
}

std::string littleEndian(std::initializer_list<float> floats) {
  std::string bytes;
  for (float f : floats) bytes.append(reinterpret_cast<const char*>(&f), 4);  // hosts are LE
  return bytes;
}

testing_support::RunResult Import::run(std::vector<std::string> args) {
  args.insert(args.begin(), "vorlatic-import");
  return testing_support::runCaptured([](const std::vector<std::string>& a, std::ostream& out,
                                         std::ostream& err) { return importer::run(a, out, err); },
                                      args);
}

std::vector<Triangle> Import::imported(const std::string& model, const std::string& content,
                                       std::vector<std::string> options) {
  writeFile(dir / model, content);
  std::vector<std::string> args{(dir / model).string(), (dir / "out.3db").string()};
  args.insert(args.end(), options.begin(), options.end());
  testing_support::RunResult binary = run(args);
  EXPECT_EQ(binary.status, 0) << model << ": " << binary.err;
  const std::string bytes = readFile(dir / "out.3db");
  args[1] = (dir / "out.msh").string();
  EXPECT_EQ(run(args).status, 0) << model;
  std::string converted;
  std::ostringstream console, errors;
  converter::convertInMemory(readFile(dir / "out.msh"), converted, console, errors);
  EXPECT_EQ(converted, bytes) << model << ": the text converts to other bytes";
  args[1] = (dir / "again.3db").string();
  run(args);
  EXPECT_EQ(readFile(dir / "again.3db"), bytes) << model << ": another run, other bytes";
  return trianglesOf(bytes);
}

}  // namespace importer_support
