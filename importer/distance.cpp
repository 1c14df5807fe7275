#include "distance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace importer {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// Squared distance from `p` to the segment ab.
double segmentSquared(const double* p, const double* a, const double* b) {
  double ab[3], ap[3];
  for (int i = 0; i < 3; ++i) ab[i] = b[i] - a[i], ap[i] = p[i] - a[i];
  const double length = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
  double t = length > 0 ? (ab[0] * ap[0] + ab[1] * ap[1] + ab[2] * ap[2]) / length : 0;
  t = std::clamp(t, 0.0, 1.0);
  double sum = 0;
  for (int i = 0; i < 3; ++i) sum += (ap[i] - t * ab[i]) * (ap[i] - t * ab[i]);
  return sum;
}

// Squared distance from `p` to the triangle whose corners are the nine values at `c`: the
// closest point found by the region of the triangle's plane that p projects into (a corner, an
// edge or the inside).
double triangleSquared(const double* p, const double* c) {
  const double *a = c, *b = c + 3, *d = c + 6;
  auto dot = [](const double* u, const double* v) {
    return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
  };
  double ab[3], ad[3], ap[3], bp[3], dp[3];
  for (int i = 0; i < 3; ++i)
    ab[i] = b[i] - a[i], ad[i] = d[i] - a[i], ap[i] = p[i] - a[i], bp[i] = p[i] - b[i],
    dp[i] = p[i] - d[i];
  const double d1 = dot(ab, ap), d2 = dot(ad, ap), d3 = dot(ab, bp), d4 = dot(ad, bp),
               d5 = dot(ab, dp), d6 = dot(ad, dp);
  const double va = d3 * d6 - d5 * d4, vb = d5 * d2 - d1 * d6, vc = d1 * d4 - d3 * d2;
  const bool inside = va > 0 && vb > 0 && vc > 0;
  if (!inside)  // the closest point is on an edge or a corner; a flat triangle lands here too
    return std::min({segmentSquared(p, a, b), segmentSquared(p, b, d), segmentSquared(p, d, a)});
  const double v = vb / (va + vb + vc), w = vc / (va + vb + vc);
  double sum = 0;
  for (int i = 0; i < 3; ++i) {
    const double e = ap[i] - v * ab[i] - w * ad[i];
    sum += e * e;
  }
  return sum;
}

// What one thread's search keeps from point to point.
struct Search {
  explicit Search(std::size_t triangles) : testedBy(triangles, 0) {}
  std::vector<std::uint32_t> testedBy;  // the point that last tested each triangle, plus 1
  std::uint32_t point = 0;              // the point searched for now, plus 1
  std::uint32_t hint = 0;  // the triangle nearest the point before: most likely near this one
  double nearest = infinity;
};

// A uniform grid of cells over the points and the triangles, each cell listing the triangles
// whose boxes overlap it: a point then tests only the triangles near it, cells further out only
// while they could hold a nearer one.
class TriangleGrid {
 public:
  TriangleGrid(const std::vector<float>& points, const std::vector<float>& positions,
               const std::vector<std::uint32_t>& indices);

  // The squared distance from `p` to its nearest triangle; or, when some triangle lies within
  // the square root of `enough`, any value at most `enough`, found sooner.
  double nearestSquared(const double* p, double enough, Search& search) const;

  std::size_t triangles() const noexcept { return boxes_.size() / 6; }

 private:
  void fitCells(double sizes);
  void listTriangles();
  std::size_t cellOf(double value, int axis) const {
    return std::min(std::size_t(std::max((value - low_[axis]) / cell_, 0.0)), dims_[axis] - 1);
  }
  template <class Visit>
  void forEachCellOf(std::size_t t, Visit&& visit) const;
  void test(std::size_t cell, const double* p, double enough, Search& search) const;
  void testRing(const std::size_t* home, std::size_t ring, const double* p, double enough,
                Search& search) const;

  std::vector<double> corners_;  // nine a triangle, in double
  std::vector<float> boxes_;     // low x, y, z, high x, y, z a triangle
  double low_[3], high_[3], cell_ = 0;
  std::size_t dims_[3] = {1, 1, 1}, cellCount_ = 1;
  std::vector<std::uint32_t> start_, listed_;  // the triangles of cell c: listed_[start_[c]..]
};

TriangleGrid::TriangleGrid(const std::vector<float>& points, const std::vector<float>& positions,
                           const std::vector<std::uint32_t>& indices)
    : corners_(3 * indices.size()), boxes_(2 * indices.size()) {
  std::fill_n(low_, 3, infinity);
  std::fill_n(high_, 3, -infinity);
  for (std::size_t i = 0; i < points.size(); ++i)
    low_[i % 3] = std::min(low_[i % 3], double(points[i])),
             high_[i % 3] = std::max(high_[i % 3], double(points[i]));
  double sizes = 0;  // the largest extent of each triangle's box, summed
  for (std::size_t t = 0; t < triangles(); ++t) {
    double boxLow[3], boxHigh[3];
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 3; ++i) {
        const double value = positions[3 * std::size_t(indices[3 * t + k]) + i];
        corners_[9 * t + 3 * k + i] = value;
        boxLow[i] = k == 0 ? value : std::min(boxLow[i], value);
        boxHigh[i] = k == 0 ? value : std::max(boxHigh[i], value);
        low_[i] = std::min(low_[i], value), high_[i] = std::max(high_[i], value);
      }
    sizes += std::max({boxHigh[0] - boxLow[0], boxHigh[1] - boxLow[1], boxHigh[2] - boxLow[2]});
    for (int i = 0; i < 3; ++i)  // exact: the corners are floats
      boxes_[6 * t + i] = float(boxLow[i]), boxes_[6 * t + 3 + i] = float(boxHigh[i]);
  }
  fitCells(sizes);
  listTriangles();
}

// Cells about half as large as a triangle, at most eight per triangle.
void TriangleGrid::fitCells(double sizes) {
  const double extent = std::max({high_[0] - low_[0], high_[1] - low_[1], high_[2] - low_[2]});
  cell_ = sizes / double(triangles()) / 2;
  if (!(cell_ > extent * 1e-6)) cell_ = std::max(extent, 1e-30);
  for (;;) {
    cellCount_ = 1;
    for (int i = 0; i < 3; ++i)
      dims_[i] = std::size_t(std::min((high_[i] - low_[i]) / cell_, 1e6)) + 1,
      cellCount_ *= dims_[i];
    if (cellCount_ <= 8 * triangles() + 8) break;
    cell_ *= 1.25;
  }
}

template <class Visit>
void TriangleGrid::forEachCellOf(std::size_t t, Visit&& visit) const {
  std::size_t from[3], to[3];
  for (int i = 0; i < 3; ++i) {
    const double* c = &corners_[9 * t + i];
    from[i] = cellOf(std::min({c[0], c[3], c[6]}), i);
    to[i] = cellOf(std::max({c[0], c[3], c[6]}), i);
  }
  for (std::size_t z = from[2]; z <= to[2]; ++z)
    for (std::size_t y = from[1]; y <= to[1]; ++y)
      for (std::size_t x = from[0]; x <= to[0]; ++x) visit((z * dims_[1] + y) * dims_[0] + x);
}

void TriangleGrid::listTriangles() {
  start_.assign(cellCount_ + 1, 0);
  for (std::size_t t = 0; t < triangles(); ++t)
    forEachCellOf(t, [&](std::size_t c) { ++start_[c + 1]; });
  for (std::size_t c = 0; c < cellCount_; ++c) start_[c + 1] += start_[c];
  listed_.resize(start_[cellCount_]);
  std::vector<std::uint32_t> filled(start_.begin(), start_.end() - 1);
  for (std::size_t t = 0; t < triangles(); ++t)
    forEachCellOf(t, [&](std::size_t c) { listed_[filled[c]++] = std::uint32_t(t); });
}

void TriangleGrid::test(std::size_t cell, const double* p, double enough, Search& search) const {
  for (std::uint32_t k = start_[cell]; k < start_[cell + 1] && search.nearest > enough; ++k) {
    const std::uint32_t t = listed_[k];
    if (search.testedBy[t] == search.point) continue;
    search.testedBy[t] = search.point;
    // The distance to the triangle's box first: cheap, and enough to pass most by.
    const float* box = &boxes_[6 * std::size_t(t)];
    double outside = 0;
    for (int i = 0; i < 3; ++i) {
      const double d = std::max({box[i] - p[i], p[i] - box[3 + i], 0.0});
      outside += d * d;
    }
    if (outside >= search.nearest) continue;
    const double distance = triangleSquared(p, &corners_[9 * std::size_t(t)]);
    if (distance < search.nearest) search.nearest = distance, search.hint = t;
  }
}

// Tests the cells of the ring `ring` cells out from `home`: the inner rings' were tested already.
void TriangleGrid::testRing(const std::size_t* home, std::size_t ring, const double* p,
                            double enough, Search& search) const {
  std::size_t from[3], to[3];
  for (int i = 0; i < 3; ++i)
    from[i] = home[i] >= ring ? home[i] - ring : 0, to[i] = std::min(home[i] + ring, dims_[i] - 1);
  for (std::size_t z = from[2]; z <= to[2]; ++z)
    for (std::size_t y = from[1]; y <= to[1]; ++y) {
      const std::size_t row = (z * dims_[1] + y) * dims_[0];
      if (ring == 0 || z + ring == home[2] || z == home[2] + ring || y + ring == home[1] ||
          y == home[1] + ring) {
        for (std::size_t x = from[0]; x <= to[0]; ++x) test(row + x, p, enough, search);
        continue;
      }
      if (home[0] >= ring) test(row + home[0] - ring, p, enough, search);
      if (home[0] + ring < dims_[0]) test(row + home[0] + ring, p, enough, search);
    }
}

double TriangleGrid::nearestSquared(const double* p, double enough, Search& search) const {
  ++search.point;
  // Points come mostly in the model's order, each near the one before.
  search.nearest = triangleSquared(p, &corners_[9 * std::size_t(search.hint)]);
  if (search.nearest <= enough) return search.nearest;
  search.testedBy[search.hint] = search.point;
  const std::size_t home[3] = {cellOf(p[0], 0), cellOf(p[1], 1), cellOf(p[2], 2)};
  for (std::size_t ring = 0;; ++ring) {
    testRing(home, ring, p, enough, search);
    // A triangle not yet tested lies wholly outside the cells tested, so no nearer than their
    // box's nearest side with cells beyond it.
    double beyond = infinity;
    for (int i = 0; i < 3; ++i) {
      if (home[i] >= ring + 1)
        beyond = std::min(beyond, p[i] - (low_[i] + double(home[i] - ring) * cell_));
      if (home[i] + ring + 1 < dims_[i])
        beyond = std::min(beyond, low_[i] + double(home[i] + ring + 1) * cell_ - p[i]);
    }
    beyond = std::max(beyond, 0.0);
    if (search.nearest <= enough || beyond == infinity || search.nearest <= beyond * beyond)
      return search.nearest;
  }
}

}  // namespace

double largestDistance(const std::vector<float>& points, const std::vector<float>& positions,
                       const std::vector<std::uint32_t>& indices) {
  const std::size_t pointCount = points.size() / 3;
  if (pointCount == 0) return 0;
  if (indices.empty()) return infinity;
  const TriangleGrid grid(points, positions, indices);
  // The largest squared distance of the points from `first` to `last`: a point nearer than the
  // largest so far changes nothing, so its search stops at the first triangle that near.
  const auto largestOf = [&](std::size_t first, std::size_t last) {
    Search search(grid.triangles());
    double largest = 0;
    for (std::size_t v = first; v < last; ++v) {
      const double p[3] = {points[3 * v], points[3 * v + 1], points[3 * v + 2]};
      largest = std::max(largest, grid.nearestSquared(p, largest, search));
    }
    return largest;
  };
  // Half the points on a second thread: every point is a search of its own.
  double other = 0;
  std::thread half([&] { other = largestOf(pointCount / 2, pointCount); });
  const double largest = std::max(largestOf(0, pointCount / 2), (half.join(), other));
  return std::sqrt(largest);
}

}  // namespace importer
