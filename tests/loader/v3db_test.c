/* The loader on the golden files: every truncation length, every one-byte corruption of the
 * header, the records read in place and decoded alike, and the draw calls. In C, so that it runs
 * wherever the loader does (32-bit x86, MIPS, s390x, Windows). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "v3db.h"

static int failures = 0;

#define CHECK(condition, ...)                                \
  do {                                                       \
    if (!(condition)) {                                      \
      ++failures;                                            \
      printf("%s:%d: %s: ", __FILE__, __LINE__, #condition); \
      printf(__VA_ARGS__);                                   \
      printf("\n");                                          \
    }                                                        \
  } while (0)

/* Bytes from a hand-written hex dump: pairs of hex digits, '#' comments to the end of a line. */
static size_t readHexDump(const char* name, unsigned char* out, size_t capacity) {
  char path[1024];
  FILE* file;
  int c, high = -1;
  size_t size = 0;
  snprintf(path, sizeof path, "%s/%s", VORLATIC_GOLDEN_DIR, name);
  file = fopen(path, "r");
  if (!file) {
    printf("cannot open %s\n", path);
    exit(2);
  }
  while ((c = fgetc(file)) != EOF) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (c == '#') {
      while ((c = fgetc(file)) != EOF && c != '\n') {
      }
    } else if (digit >= 0 && high < 0) {
      high = digit;
    } else if (digit >= 0 && size < capacity) {
      out[size++] = (unsigned char)(high << 4 | digit);
      high = -1;
    }
  }
  fclose(file);
  return size;
}

/* What the format's size arithmetic says of `size` bytes declaring `vertexCount` vertices. */
static v3db_problem bySize(size_t size, long vertexCount, size_t* vertices, size_t* faces) {
  size_t body;
  *vertices = *faces = 0;
  if (size < 15) return V3DB_TRUNCATED_HEADER;
  if (vertexCount < 0) return V3DB_NEGATIVE_VERTEX_COUNT;
  body = size - 15;
  if (body / 16 < (unsigned long)vertexCount) { /* 16 x vertexCount may not fit 32 bits */
    *vertices = body / 16;
    return V3DB_TRUNCATED_VERTICES;
  }
  *vertices = (size_t)vertexCount;
  *faces = (body - 16u * (size_t)vertexCount) / 6;
  return (body - 16u * (size_t)vertexCount) % 6 ? V3DB_TRAILING_BYTES : V3DB_OK;
}

/* Storage that puts a file one byte past a 16-byte boundary, and one that puts it anywhere else. */
static unsigned char storage[4096 + 32];

static unsigned char* placed(const unsigned char* bytes, size_t size, int aligned) {
  unsigned char* base = storage + (16 - ((size_t)storage & 15u)) % 16;
  unsigned char* at = base + (aligned ? 1 : 4);
  memcpy(at, bytes, size);
  return at;
}

/* Opens `size` bytes of `file` at both placements: the same problem and counts either way, and
 * the same records in place as decoded. */
static void checkOpen(const unsigned char* file, size_t size, long vertexCount, const char* what) {
  static v3db_vertex decoded[256];
  static v3db_face decodedFaces[256];
  size_t vertices, faces;
  const v3db_problem expected = bySize(size, vertexCount, &vertices, &faces);
  int aligned;
  for (aligned = 0; aligned < 2; ++aligned) {
    v3db_mesh mesh;
    const v3db_problem problem = v3db_open(placed(file, size, aligned), size, &mesh);
    CHECK(problem == expected, "%s, size %lu: problem %d, expected %d", what, (unsigned long)size,
          (int)problem, (int)expected);
    CHECK(mesh.vertices == vertices && mesh.faces == faces, "%s, size %lu: %lu, %lu records", what,
          (unsigned long)size, (unsigned long)mesh.vertices, (unsigned long)mesh.faces);
    if (problem != V3DB_OK || mesh.vertices > 256 || mesh.faces > 256) continue;
    v3db_decode(&mesh, decoded, decodedFaces);
    if (v3db_vertices_in_place(&mesh)) {
      CHECK(memcmp(v3db_vertices_in_place(&mesh), decoded, mesh.vertices * sizeof *decoded) == 0,
            "%s: vertices in place differ from decoded", what);
      CHECK(
          memcmp(v3db_faces_in_place(&mesh), decodedFaces, mesh.faces * sizeof *decodedFaces) == 0,
          "%s: faces in place differ from decoded", what);
    }
    CHECK(aligned || !v3db_vertices_in_place(&mesh), "%s: in place though misplaced", what);
  }
}

static void truncationsAndCorruptions(void) {
  unsigned char file[128];
  const size_t size = readHexDump("overview.3db.hex", file, sizeof file);
  size_t length;
  int at, value;
  CHECK(size == 69, "overview.3db.hex: %lu bytes", (unsigned long)size);
  for (length = 0; length <= size; ++length) checkOpen(file, length, 3, "truncated");
  for (at = 0; at < 15; ++at) {
    for (value = 0; value < 256; ++value) {
      unsigned char corrupt[128];
      v3db_mesh mesh;
      if (file[at] == value) continue;
      memcpy(corrupt, file, size);
      corrupt[at] = (unsigned char)value;
      if (at < 3) {
        CHECK(v3db_open(corrupt, size, &mesh) == V3DB_BAD_MAGIC, "byte %d = %d", at, value);
      } else if (at >= 11) {
        CHECK(v3db_open(corrupt, size, &mesh) == V3DB_UNKNOWN_VERSION, "byte %d = %d", at, value);
      } else if (at >= 7) {
        checkOpen(corrupt, size, 3, "faceCount changed");
      } else {
        long count =
            (long)((unsigned long)corrupt[3] | (unsigned long)corrupt[4] << 8 |
                   (unsigned long)corrupt[5] << 16 | (unsigned long)(corrupt[6] & 0x7F) << 24);
        checkOpen(corrupt, size, corrupt[6] & 0x80 ? -1 : count, "vertexCount changed");
      }
    }
  }
}

/* A float's bits: compared as such, with no arithmetic, which some targets do in double. */
static uint32_t bitsOf(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

/* The decoded records of the golden files, field by field. */
static void decodesTheGoldenFiles(void) {
  unsigned char file[4096];
  v3db_vertex vertices[16];
  v3db_face faces[16];
  v3db_mesh mesh;
  const size_t size = readHexDump("overview.3db.hex", file, sizeof file);
  CHECK(v3db_open(placed(file, size, 1), size, &mesh) == V3DB_OK, "overview");
  CHECK(mesh.vertex_count == 3 && mesh.face_count == 1 && mesh.version == 1, "overview header");
  v3db_decode(&mesh, vertices, faces);
  CHECK(vertices[1].colour == 0xFF00FF00u && bitsOf(vertices[1].x) == 0x3F800000u &&
            bitsOf(vertices[1].y) == 0 && bitsOf(vertices[2].y) == 0x3F800000u,
        "overview vertices");
  CHECK(faces[0].a == 0 && faces[0].b == 1 && faces[0].c == 2, "overview face");
  {
    const char* others[] = {"cube.3db.hex", "spellings.3db.hex", "linebreaks.3db.hex"};
    size_t i;
    for (i = 0; i < 3; ++i) {
      size_t length = readHexDump(others[i], file, sizeof file);
      checkOpen(file, length, (long)(file[3] | file[4] << 8), others[i]);
    }
  }
}

static void splitsIntoDrawCalls(void) {
  const struct {
    size_t faces, calls, lastCount;
  } cases[] = {{0, 0, 0},     {1, 1, 1},     {21845, 1, 21845},
               {21846, 2, 1}, {65536, 4, 1}, {43690, 2, 21845}};
  size_t i;
  for (i = 0; i < sizeof cases / sizeof *cases; ++i) {
    v3db_draw_call calls[8];
    size_t n = v3db_draw_calls(cases[i].faces, calls, 8), total = 0, k;
    CHECK(n == cases[i].calls, "%lu faces: %lu calls", (unsigned long)cases[i].faces,
          (unsigned long)n);
    for (k = 0; k < n; ++k) {
      CHECK(calls[k].first_face == total && 3 * calls[k].face_count <= V3DB_MAX_CALL_INDICES,
            "%lu faces: call %lu", (unsigned long)cases[i].faces, (unsigned long)k);
      total += calls[k].face_count;
    }
    CHECK(total == cases[i].faces, "%lu faces: %lu drawn", (unsigned long)cases[i].faces,
          (unsigned long)total);
    CHECK(n == 0 || calls[n - 1].face_count == cases[i].lastCount, "last call");
    CHECK(v3db_draw_calls(cases[i].faces, NULL, 0) == n, "counting only");
  }
}

int main(void) {
  int problem;
  truncationsAndCorruptions();
  decodesTheGoldenFiles();
  splitsIntoDrawCalls();
  for (problem = V3DB_OK; problem <= V3DB_TRAILING_BYTES; ++problem)
    CHECK(v3db_problem_text((v3db_problem)problem)[0] != '\0', "problem %d", problem);
  printf("v3db: %s (%d failures)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
