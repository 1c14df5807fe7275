// The importer's parts on their own: welding by bits, the tessellator on concave, twisted and
// crossed polygons, and the distance that measures what simplifying removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "distance.h"
#include "tessellate.h"
#include "weld.h"

#include "importer_support.h"

using importer_support::isClosed;
using importer_support::Point;

namespace {

// Keys drawn from a small pool, so that most come several times, among them 0 and -0 and two
// NaNs that differ only in their payload: numbered as a map of the keys' bytes numbers them.
TEST(Weld, NumbersKeysByTheirBitsInTheOrderTheyFirstCome) {
  const float specials[] = {0.0f, -0.0f, std::nanf("1"), std::nanf("2"), 1.0f};
  for (std::size_t words : {std::size_t{3}, std::size_t{4}})
    for (std::size_t count :
         {std::size_t{0}, std::size_t{1}, std::size_t{20}, std::size_t{70000}}) {
      std::vector<float> keys(count * words);
      std::uint32_t state = 12345;
      for (float& value : keys) {
        state = state * 1664525u + 1013904223u;
        value = specials[(state >> 8) % 5] + float((state >> 20) % 4 == 0 ? state % 3 : 0);
      }
      std::map<std::vector<std::uint32_t>, std::uint32_t> seen;
      std::vector<std::uint32_t> expected(count), remap(count, 99);
      for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint32_t> key(words);
        std::memcpy(key.data(), &keys[i * words], 4 * words);
        expected[i] = seen.emplace(key, std::uint32_t(seen.size())).first->second;
      }
      EXPECT_EQ(importer::numberDistinct(keys.data(), count, words, remap.data()), seen.size());
      EXPECT_EQ(remap, expected) << words << " words, " << count << " keys";
    }
}

// Polygons in the plane z = 0, counter-clockwise, with their areas.
struct Polygon {
  const char* name;
  std::vector<Point> corners;
  double area;
};

TEST(Tessellator, CoversEachConcavePolygonExactly) {
  const Polygon polygons[] = {
      {"L", {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}, 3},
      {"dart", {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {1, 1, 0}}, 1},
      {"U",
       {{0, 0, 0}, {3, 0, 0}, {3, 3, 0}, {2, 3, 0}, {2, 1, 0}, {1, 1, 0}, {1, 3, 0}, {0, 3, 0}},
       7},
      // A strip with three teeth: 5 x 1, and 1 x 1 three times.
      {"comb",
       {{0, 0, 0},
        {5, 0, 0},
        {5, 2, 0},
        {4, 2, 0},
        {4, 1, 0},
        {3, 1, 0},
        {3, 2, 0},
        {2, 2, 0},
        {2, 1, 0},
        {1, 1, 0},
        {1, 2, 0},
        {0, 2, 0}},
       8},
      {"square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 1},
  };
  for (const Polygon& p : polygons) {
    for (bool reversed : {false, true}) {
      std::vector<float> positions;
      for (const Point& c : p.corners) positions.insert(positions.end(), c.begin(), c.end());
      std::vector<std::uint32_t> corners(p.corners.size()), triangles;
      for (std::uint32_t i = 0; i < corners.size(); ++i) corners[i] = i;
      if (reversed) std::reverse(corners.begin(), corners.end());
      importer::Tessellator().triangulate(positions, corners.data(), corners.size(), triangles);
      ASSERT_EQ(triangles.size(), 3 * (p.corners.size() - 2)) << p.name;
      double sum = 0;
      for (std::size_t t = 0; t < triangles.size(); t += 3) {
        const float* a = &positions[3 * triangles[t]];
        const float* b = &positions[3 * triangles[t + 1]];
        const float* c = &positions[3 * triangles[t + 2]];
        double signedArea = ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])) / 2;
        EXPECT_GE(reversed ? -signedArea : signedArea, 0) << p.name << ": a triangle turned round";
        sum += signedArea;
      }
      // Same winding throughout and the polygon's area: no overlap, no gap, nothing outside.
      EXPECT_DOUBLE_EQ(reversed ? -sum : sum, p.area) << p.name;
    }
  }
}

// Whatever the polygon's shape, n - 2 triangles that with the polygon itself turned round close a
// surface: each edge of the polygon in one triangle and in its direction, and each cut between
// corners in two, once each way. So no corner is left out, none is added, the winding is kept.
TEST(Tessellator, CutsTwistedAndCrossedPolygonsOnTheirOwnCorners) {
  std::vector<Point> star;  // a pentagram: each corner to the next but one of a regular pentagon
  for (int k = 0; k < 5; ++k)
    star.push_back({float(std::cos(k * 4 * M_PI / 5)), float(std::sin(k * 4 * M_PI / 5)), 0});
  const std::pair<const char*, std::vector<Point>> polygons[] = {
      {"twisted quad", {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0.1f}}},
      {"flat bowtie", {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}}},
      {"non-planar pentagon, a corner folded over",
       {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1, -1, 2}, {0, 2, 0}}},
      {"pentagram", star},
      {"crossed hexagon", {{0, 0, 0}, {3, 0, 0}, {0, 2, 0}, {3, 2, 0}, {2, 1, 0}, {1, 1, 0}}},
      {"crossed pentagon with no ear", {{2, 0, 0}, {0, 2, 0}, {3, 0, 0}, {0, 0, 0}, {3, 3, 0}}},
  };
  for (const auto& [name, points] : polygons) {
    std::vector<float> positions;
    for (const Point& p : points) positions.insert(positions.end(), p.begin(), p.end());
    for (bool reversed : {false, true}) {
      std::vector<std::uint32_t> ring(points.size()), triangles;
      for (std::uint32_t i = 0; i < ring.size(); ++i) ring[i] = i;
      if (reversed) std::reverse(ring.begin(), ring.end());
      importer::Tessellator().triangulate(positions, ring.data(), ring.size(), triangles);
      std::vector<std::vector<std::uint32_t>> faces{{ring.rbegin(), ring.rend()}};
      for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
        faces.push_back({triangles[t], triangles[t + 1], triangles[t + 2]});
      EXPECT_EQ(triangles.size(), 3 * (ring.size() - 2)) << name << reversed;
      EXPECT_TRUE(isClosed(faces)) << name << reversed;
    }
  }
}

// A corner given again right after itself counts once; an outline that comes back to a corner is
// cut into its loops, with no triangle between two visits of it.
TEST(Tessellator, CutsRepeatedCornersIntoTheirLoops) {
  // 5 is where 0 is.
  const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, -1, 0, 0, -1, -1, 0, 0, 0, 0};
  using Corners = std::vector<std::uint32_t>;
  const std::pair<Corners, Corners> cases[] = {
      {{0, 1, 1, 2}, {0, 1, 2}},
      {{0, 1, 2, 2, 0}, {0, 1, 2}},
      {{0, 1, 2, 5}, {0, 1, 2}},
      {{0, 1, 2, 0, 3, 4}, {0, 1, 2, 0, 3, 4}},
  };
  for (const auto& [corners, want] : cases) {
    Corners triangles;
    importer::Tessellator().triangulate(positions, corners.data(), corners.size(), triangles);
    for (auto t = triangles.begin(); t < triangles.end(); t += 3)  // from the smallest corner
      std::rotate(t, std::min_element(t, t + 3), t + 3);
    EXPECT_EQ(triangles, want) << corners.size();
  }
}

// One triangle (0,0,0) (1,0,0) (0,1,0), then a strip of 200 along x from 0 to 100 and y from 0
// to 1, whose cells a distant point searches ring by ring.
TEST(Shape, LargestDistanceIsToTheNearestTriangle) {
  const std::vector<float> one{0, 0, 0, 1, 0, 0, 0, 1, 0};
  const std::vector<std::uint32_t> oneIndices{0, 1, 2};
  std::vector<float> strip;
  std::vector<std::uint32_t> stripIndices;
  for (int i = 0; i <= 100; ++i) strip.insert(strip.end(), {float(i), 0, 0, float(i), 1, 0});
  for (std::uint32_t i = 0; i < 200; i += 2)
    stripIndices.insert(stripIndices.end(), {i, i + 2, i + 1, i + 1, i + 2, i + 3});
  const struct {
    std::vector<float> points;
    bool onStrip;
    double distance;
  } cases[] = {
      {{0.25f, 0.25f, 2}, false, 2},                   // above the inside
      {{0.5f, -3, 0}, false, 3},                       // beside an edge
      {{1, 1, 0}, false, std::sqrt(0.5)},              // beside the long edge
      {{-3, -4, 0}, false, 5},                         // beyond a corner
      {{0.2f, 0.2f, 0, 0.1f, 0.1f, -7}, false, 7},     // the largest of two
      {{50.5f, 0.5f, 0.25f, 50.5f, 31, 0}, true, 30},  // many cells away
      {{-20, 0.5f, 0, 30.5f, 0.5f, -0.5f}, true, 20},  // beyond the strip's end
      {{}, true, 0},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(importer::largestDistance(c.points, c.onStrip ? strip : one,
                                          c.onStrip ? stripIndices : oneIndices),
                c.distance, 1e-6 * c.distance)
        << "case " << &c - cases;
  EXPECT_EQ(importer::largestDistance({1, 2, 3}, one, {}), HUGE_VAL);
  // Points all round the strip, one at a time: the distance to the rectangle it covers.
  std::uint32_t seed = 1;
  const auto next = [&](float low, float high) {
    seed = seed * 1664525u + 1013904223u;
    return low + (high - low) * float(seed >> 8) / float(1u << 24);
  };
  for (int i = 0; i < 300; ++i) {
    const std::vector<float> point{next(-10, 110), next(-30, 30), next(-5, 5)};
    const double dx = std::max({0.0, -double(point[0]), point[0] - 100.0}),
                 dy = std::max({0.0, -double(point[1]), point[1] - 1.0});
    EXPECT_NEAR(importer::largestDistance(point, strip, stripIndices),
                std::sqrt(dx * dx + dy * dy + double(point[2]) * point[2]), 1e-5)
        << point[0] << ' ' << point[1] << ' ' << point[2];
  }
}

}  // namespace
