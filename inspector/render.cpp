// Draws a picture with Mesa's off-screen OpenGL (OSMesa), through the fixed-function pipeline.
//
// OSMesa is opened when the first picture is drawn, not linked: it brings the whole of LLVM with
// it, whose loading would add some 27 ms to every run of the inspector, --json in a build
// included, and the inspector is otherwise linked statically to start in a few milliseconds.
//
// Two passes. The first is what the device does: the vertex records, one interleaved array of
// 16-byte records (four colour bytes, then three floats), and the faces as 16-bit indices, in
// glDrawElements calls of at most 65,535 indices; it lays down the vertex colours and the depth.
// The format has no normals, and one normal per face cannot ride on vertices that faces share, so
// the shading is a second pass over the same triangles, each corner with its face's normal: GL's
// lighting (two-sided, the back material darker) gives each face a grey level, which multiplies
// the colour already there wherever the depth is the one the first pass left, and only once per
// pixel (the stencil counts), so that coincident faces are not shaded twice.
#include <GL/osmesa.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "picture.h"

#ifndef VORLATIC_OSMESA
#define VORLATIC_OSMESA "libOSMesa.so.8"
#endif

#if defined(__SANITIZE_ADDRESS__)
// Mesa keeps what each OSMesaMakeCurrent allocates until the process ends: not the project's
// leak, and not one it could free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

namespace inspector {
namespace {

// The entry points drawing uses, each loaded by its name.
// clang-format off
#define VORLATIC_GL_FUNCTIONS(X)                                                                  \
  X(OSMesaCreateContextExt) X(OSMesaMakeCurrent) X(OSMesaDestroyContext) X(OSMesaPixelStore)     \
  X(glViewport) X(glClearColor) X(glClearStencil) X(glClear) X(glEnable)                         \
  X(glDepthFunc) X(glDepthMask) X(glMatrixMode) X(glLoadMatrixd) X(glLoadIdentity)               \
  X(glEnableClientState) X(glDisableClientState) X(glVertexPointer) X(glColorPointer)            \
  X(glNormalPointer) X(glDrawElements) X(glDrawArrays) X(glLightfv) X(glLightModelfv)            \
  X(glLightModeli) X(glMaterialfv) X(glBlendFunc) X(glStencilFunc) X(glStencilOp) X(glFinish)    \
  X(glGetError)
// clang-format on

struct Gl {
#define VORLATIC_GL_POINTER(name) decltype(&::name) name = nullptr;
  VORLATIC_GL_FUNCTIONS(VORLATIC_GL_POINTER)
#undef VORLATIC_GL_POINTER
};

// The library's entry points, loaded once and kept for the rest of the run; nullptr with the
// reason when the library or one of them is missing.
const Gl* openGl(std::string& reason) {
  static std::string failure;
  static const Gl* const gl = []() -> const Gl* {
    void* library = dlopen(VORLATIC_OSMESA, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* why = dlerror();
      failure = why ? why : VORLATIC_OSMESA ": cannot be opened";
      return nullptr;
    }
    static Gl loaded;
#define VORLATIC_GL_LOAD(name)                                              \
  loaded.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  if (!loaded.name) failure = VORLATIC_OSMESA ": no " #name;
    VORLATIC_GL_FUNCTIONS(VORLATIC_GL_LOAD)
#undef VORLATIC_GL_LOAD
    return failure.empty() ? &loaded : nullptr;
  }();
  if (!gl) reason = failure;
  return gl;
}

constexpr std::size_t indicesPerCall = threedb::maxIndicesPerDrawCall / 3 * 3;

void drawRecords(const Gl& gl, const Picture& picture, const Drawable& drawable) {
  const DeviceVertex* records = picture.vertices.data();
  gl.glEnableClientState(GL_VERTEX_ARRAY);
  gl.glEnableClientState(GL_COLOR_ARRAY);
  gl.glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(DeviceVertex), records);
  gl.glVertexPointer(3, GL_FLOAT, sizeof(DeviceVertex),
                     reinterpret_cast<const unsigned char*>(records) + 4);
  const std::vector<std::uint16_t>& indices = drawable.indices;
  for (std::size_t first = 0; first < indices.size(); first += indicesPerCall) {
    const std::size_t count = std::min(indicesPerCall, indices.size() - first);
    gl.glDrawElements(GL_TRIANGLES, GLsizei(count), GL_UNSIGNED_SHORT, indices.data() + first);
  }
  gl.glDisableClientState(GL_COLOR_ARRAY);
}

// Each face's grey level: 0.45 to 1 in front, 0.15 to 0.35 behind, by the cosine of the angle
// between its normal and a light from above right, behind the viewer.
void light(const Gl& gl) {
  const GLfloat white[] = {1, 1, 1, 1}, black[] = {0, 0, 0, 1};
  const GLfloat frontAmbient[] = {0.45f, 0.45f, 0.45f, 1},
                frontDiffuse[] = {0.55f, 0.55f, 0.55f, 1};
  const GLfloat backAmbient[] = {0.15f, 0.15f, 0.15f, 1}, backDiffuse[] = {0.2f, 0.2f, 0.2f, 1};
  const GLfloat towardsLight[] = {0.35f, 0.55f, 0.76f, 0};  // in eye space: set under identity
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glLoadIdentity();
  gl.glLightfv(GL_LIGHT0, GL_POSITION, towardsLight);
  gl.glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  gl.glLightfv(GL_LIGHT0, GL_AMBIENT, black);
  gl.glLightfv(GL_LIGHT0, GL_SPECULAR, black);
  gl.glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);
  gl.glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
  gl.glMaterialfv(GL_FRONT, GL_AMBIENT, frontAmbient);
  gl.glMaterialfv(GL_FRONT, GL_DIFFUSE, frontDiffuse);
  gl.glMaterialfv(GL_BACK, GL_AMBIENT, backAmbient);
  gl.glMaterialfv(GL_BACK, GL_DIFFUSE, backDiffuse);
  gl.glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
  gl.glEnable(GL_LIGHTING);
  gl.glEnable(GL_LIGHT0);
}

// Appends the corner and the face's normal (by the right-hand rule, unit length) three times.
void addFace(const Picture& picture, const std::uint16_t* face, std::vector<GLfloat>& corners,
             std::vector<GLfloat>& normals) {
  const auto& a = picture.vertices[face[0]].position;
  const auto& b = picture.vertices[face[1]].position;
  const auto& c = picture.vertices[face[2]].position;
  double u[3], v[3];
  for (int k = 0; k < 3; ++k) {
    u[k] = double(b[k]) - a[k];
    v[k] = double(c[k]) - a[k];
  }
  double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  for (double& component : n) component = length > 0 ? component / length : 0;
  for (const auto* corner : {&a, &b, &c}) {
    corners.insert(corners.end(), corner->begin(), corner->end());
    normals.insert(normals.end(), {GLfloat(n[0]), GLfloat(n[1]), GLfloat(n[2])});
  }
}

void shadeFaces(const Gl& gl, const Picture& picture, const Drawable& drawable,
                const Camera& camera) {
  light(gl);
  gl.glLoadMatrixd(camera.modelview.data());
  gl.glDepthMask(GL_FALSE);
  gl.glDepthFunc(GL_LEQUAL);
  gl.glEnable(GL_STENCIL_TEST);
  gl.glStencilFunc(GL_EQUAL, 0, 0xFF);
  gl.glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
  gl.glEnable(GL_BLEND);
  gl.glBlendFunc(GL_ZERO, GL_SRC_COLOR);
  gl.glEnableClientState(GL_NORMAL_ARRAY);
  std::vector<GLfloat> corners, normals;
  corners.reserve(3 * indicesPerCall);
  normals.reserve(3 * indicesPerCall);
  const std::vector<std::uint16_t>& indices = drawable.indices;
  for (std::size_t first = 0; first < indices.size(); first += indicesPerCall) {
    const std::size_t end = std::min(first + indicesPerCall, indices.size());
    corners.clear();
    normals.clear();
    for (std::size_t i = first; i < end; i += 3) addFace(picture, &indices[i], corners, normals);
    gl.glVertexPointer(3, GL_FLOAT, 0, corners.data());
    gl.glNormalPointer(GL_FLOAT, 0, normals.data());
    gl.glDrawArrays(GL_TRIANGLES, 0, GLsizei(end - first));
  }
}

// The context, destroyed whatever happens.
struct Context {
  const Gl& gl;
  OSMesaContext context;
  ~Context() {
    if (context) gl.OSMesaDestroyContext(context);
  }
};

}  // namespace

bool render(const Picture& picture, const Drawable& drawable, const Camera& camera,
            PictureSize size, Image& image, std::string& reason) {
  const Gl* gl = openGl(reason);
  if (!gl) return false;
  std::vector<GLubyte> rgba(std::size_t(size.width) * size.height * 4);  // outlives the context
  Context context{*gl, gl->OSMesaCreateContextExt(OSMESA_RGBA, 24, 8, 0, nullptr)};
  if (!context.context || !gl->OSMesaMakeCurrent(context.context, rgba.data(), GL_UNSIGNED_BYTE,
                                                 size.width, size.height)) {
    reason = "OSMesa could not make an OpenGL context";
    return false;
  }
  gl->OSMesaPixelStore(OSMESA_Y_UP, 0);  // the first row is the top one, as in a PNG
  gl->glViewport(0, 0, size.width, size.height);
  gl->glClearColor(0.93f, 0.93f, 0.93f, 1);
  gl->glClearStencil(0);
  gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  gl->glMatrixMode(GL_PROJECTION);
  gl->glLoadMatrixd(camera.projection.data());
  gl->glMatrixMode(GL_MODELVIEW);
  gl->glLoadMatrixd(camera.modelview.data());
  gl->glEnable(GL_DEPTH_TEST);
  gl->glDepthFunc(GL_LESS);
  drawRecords(*gl, picture, drawable);
  shadeFaces(*gl, picture, drawable, camera);
  gl->glFinish();
  if (GLenum error = gl->glGetError(); error != GL_NO_ERROR) {
    char text[40];
    std::snprintf(text, sizeof text, "OpenGL error 0x%04X", unsigned(error));
    reason = text;
    return false;
  }
  image.width = size.width;
  image.height = size.height;
  image.rgb.resize(rgba.size() / 4 * 3);
  for (std::size_t pixel = 0; pixel < rgba.size() / 4; ++pixel)
    std::copy_n(&rgba[pixel * 4], 3, &image.rgb[pixel * 3]);
  return true;
}

}  // namespace inspector
