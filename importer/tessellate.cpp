#include "tessellate.h"

#include <GL/glu.h>

#include <array>
#include <cmath>
#include <cstdint>

namespace importer {

struct Tessellator::State {
  GLUtesselator* tess = nullptr;
  std::vector<std::array<GLdouble, 3>> corners;  // what GLU reads, stable for a polygon
  std::vector<float>* positions = nullptr;
  std::vector<std::uint32_t>* triangles = nullptr;
  bool failed = false;
};

namespace {

void* asData(std::uint32_t index) { return reinterpret_cast<void*>(std::uintptr_t(index)); }
std::uint32_t asIndex(void* data) { return std::uint32_t(reinterpret_cast<std::uintptr_t>(data)); }

// With an edge-flag callback registered, GLU gives separate triangles only.
void GLAPIENTRY onBegin(GLenum, void*) {}
void GLAPIENTRY onEdgeFlag(GLboolean, void*) {}

void GLAPIENTRY onVertex(void* vertex, void* state) {
  static_cast<Tessellator::State*>(state)->triangles->push_back(asIndex(vertex));
}

// Where two edges cross, a new vertex.
void GLAPIENTRY onCombine(GLdouble coords[3], void* [4], GLfloat[4], void** out, void* state) {
  std::vector<float>& positions = *static_cast<Tessellator::State*>(state)->positions;
  *out = asData(std::uint32_t(positions.size() / 3));
  for (int axis = 0; axis < 3; ++axis) positions.push_back(float(coords[axis]));
}

void GLAPIENTRY onError(GLenum, void* state) {
  static_cast<Tessellator::State*>(state)->failed = true;
}

struct Point {
  double a, b;  // the corner in the plane the polygon faces most
};

// True for a strictly convex outline that goes round once: every turn to the same side, and
// each coordinate changing direction at most twice (a star turns one way too, but goes round
// more than once).
bool isConvex(const std::vector<Point>& points) {
  const std::size_t n = points.size();
  int side = 0, turnsA = 0, turnsB = 0;
  double lastA = 0, lastB = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Point& p = points[i];
    const Point& q = points[(i + 1) % n];
    const Point& r = points[(i + 2) % n];
    double cross = (q.a - p.a) * (r.b - q.b) - (q.b - p.b) * (r.a - q.a);
    int turn = cross > 0 ? 1 : cross < 0 ? -1 : 0;
    if (turn == 0 || (side != 0 && turn != side)) return false;
    side = turn;
    const double da = q.a - p.a, db = q.b - p.b;
    if (da != 0) {
      turnsA += lastA != 0 && (da > 0) != (lastA > 0);
      lastA = da;
    }
    if (db != 0) {
      turnsB += lastB != 0 && (db > 0) != (lastB > 0);
      lastB = db;
    }
  }
  return turnsA <= 2 && turnsB <= 2;
}

}  // namespace

Tessellator::Tessellator() : state_(new State) {
  state_->tess = gluNewTess();
  GLUtesselator* tess = state_->tess;
  if (!tess) return;
  gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
  gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(onBegin));
  gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(onEdgeFlag));
  gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(onVertex));
  gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(onCombine));
  gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<_GLUfuncptr>(onError));
}

Tessellator::~Tessellator() {
  if (state_->tess) gluDeleteTess(state_->tess);
  delete state_;
}

void Tessellator::triangulate(std::vector<float>& positions, const std::uint32_t* corners,
                              std::size_t count, std::vector<std::uint32_t>& triangles) {
  if (count < 3) return;
  if (count == 3) {
    triangles.insert(triangles.end(), corners, corners + 3);
    return;
  }
  // Newell's normal: the polygon's own winding, whatever its shape.
  double normal[3] = {0, 0, 0};
  for (std::size_t i = 0; i < count; ++i) {
    const float* p = &positions[3 * std::size_t(corners[i])];
    const float* q = &positions[3 * std::size_t(corners[(i + 1) % count])];
    normal[0] += (double(p[1]) - q[1]) * (double(p[2]) + q[2]);
    normal[1] += (double(p[2]) - q[2]) * (double(p[0]) + q[0]);
    normal[2] += (double(p[0]) - q[0]) * (double(p[1]) + q[1]);
  }
  int major = std::fabs(normal[0]) > std::fabs(normal[1]) ? 0 : 1;
  if (std::fabs(normal[2]) > std::fabs(normal[major])) major = 2;
  if (normal[major] == 0) return;  // no area
  const int a = (major + 1) % 3, b = (major + 2) % 3;
  std::vector<Point> plane(count);
  for (std::size_t i = 0; i < count; ++i) {
    const float* p = &positions[3 * std::size_t(corners[i])];
    plane[i] = {p[a], p[b]};
  }
  // A convex polygon is fanned: exact, and far cheaper than the tessellator for the quads that
  // most models are made of.
  if (isConvex(plane)) {
    for (std::size_t i = 1; i + 1 < count; ++i)
      triangles.insert(triangles.end(), {corners[0], corners[i], corners[i + 1]});
    return;
  }
  State& state = *state_;
  if (!state.tess) return;
  state.positions = &positions;
  state.triangles = &triangles;
  state.failed = false;
  state.corners.resize(count);
  const std::size_t before = triangles.size();
  gluTessNormal(state.tess, normal[0], normal[1], normal[2]);
  gluTessBeginPolygon(state.tess, &state);
  gluTessBeginContour(state.tess);
  for (std::size_t i = 0; i < count; ++i) {
    const float* p = &positions[3 * std::size_t(corners[i])];
    state.corners[i] = {p[0], p[1], p[2]};
    gluTessVertex(state.tess, state.corners[i].data(), asData(corners[i]));
  }
  gluTessEndContour(state.tess);
  gluTessEndPolygon(state.tess);
  if (state.failed || (triangles.size() - before) % 3 != 0) triangles.resize(before);
}

}  // namespace importer
