/* v3db: loading a 3DB mesh on the device. C99, one header and one source, nothing beyond the C
 * standard headers: no allocation (the caller gives the memory) and no stdio, so it builds with
 * any handheld toolchain. No double-precision arithmetic anywhere.
 *
 * A 3DB vertex record is the PSP graphics unit's GU_COLOR_8888 | GU_VERTEX_32BITF vertex, so on
 * the device the records can be drawn from the file as it lies in memory. Read the file so that
 * its first byte sits one byte past a 16-byte boundary: the header is 15 bytes, so the vertex
 * section then starts on a 16-byte boundary, and so does the face section after it.
 *
 *     static unsigned char storage[MAX_FILE + 16] __attribute__((aligned(16)));
 *     unsigned char* file = storage + 1;              // one past a 16-byte boundary
 *     size_t size = read_file("ship.3db", file, MAX_FILE);
 *
 *     v3db_mesh mesh;
 *     if (v3db_open(file, size, &mesh) != V3DB_OK) return -1;
 *     const v3db_vertex* vertices = v3db_vertices_in_place(&mesh);
 *     const v3db_face* faces = v3db_faces_in_place(&mesh);
 *     if (!vertices || !faces) {                     // a big-endian host, or placed elsewhere
 *       vertices = my_vertices;                      // room for mesh.vertices records
 *       faces = my_faces;                            // room for mesh.faces records
 *       v3db_decode(&mesh, my_vertices, my_faces);
 *     }
 *     v3db_draw_call calls[8];
 *     size_t n = v3db_draw_calls(mesh.faces, calls, 8);   // at most 65,535 indices each
 *     for (size_t i = 0; i < n; ++i)
 *       sceGuDrawArray(GU_TRIANGLES, GU_INDEX_16BIT | GU_COLOR_8888 | GU_VERTEX_32BITF |
 *                      GU_TRANSFORM_3D, 3 * calls[i].face_count, faces + calls[i].first_face,
 *                      vertices);
 */
#ifndef V3DB_H
#define V3DB_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What is wrong with a file: the same problems, in the same order of checking, as the Vorlatic
 * tools' reader reports. */
typedef enum v3db_problem {
  V3DB_OK = 0,
  V3DB_TRUNCATED_HEADER,      /* fewer than 15 bytes */
  V3DB_BAD_MAGIC,             /* the first three bytes are not "3DB" */
  V3DB_UNKNOWN_VERSION,       /* the version field is not 1 */
  V3DB_NEGATIVE_VERTEX_COUNT, /* no file size can match it */
  V3DB_TRUNCATED_VERTICES,    /* the file ends before vertexCount whole vertex records */
  V3DB_TRAILING_BYTES         /* 1 to 5 bytes after the last whole face record */
} v3db_problem;

/* A vertex record: 16 bytes, the colour word (ABGR 8888) then x, y and z. */
typedef struct v3db_vertex {
  uint32_t colour;
  float x, y, z;
} v3db_vertex;

/* A face record: three 16-bit vertex indices, 6 bytes. */
typedef struct v3db_face {
  uint16_t a, b, c;
} v3db_face;

/* A file checked by v3db_open. It points into the caller's bytes, which must outlive it. */
typedef struct v3db_mesh {
  const unsigned char* bytes;
  size_t size;
  int32_t vertex_count; /* the header's fields, as stored */
  int32_t face_count;   /* as declared: the face records present may differ */
  int32_t version;
  uint32_t vertices; /* vertex records present */
  size_t faces;      /* face records present */
  size_t trailing;   /* bytes after the last whole face record (0 in a sound file) */
} v3db_mesh;

/* The most indices one draw call takes, and so the most faces. */
#define V3DB_MAX_CALL_INDICES 65535u
#define V3DB_MAX_CALL_FACES (V3DB_MAX_CALL_INDICES / 3u)

/* Checks the `size` bytes at `file` and fills `mesh` with what they hold (as far as they hold
 * it, whatever the problem). Returns V3DB_OK for a sound file. */
v3db_problem v3db_open(const void* file, size_t size, v3db_mesh* mesh);

/* The records where they lie in the file: only on a little-endian host, with the file placed one
 * byte past a 16-byte boundary; else null, and v3db_decode gives them. */
const v3db_vertex* v3db_vertices_in_place(const v3db_mesh* mesh);
const v3db_face* v3db_faces_in_place(const v3db_mesh* mesh);

/* Decodes the records into the caller's arrays (mesh->vertices and mesh->faces elements; either
 * may be null to skip it), on any host and from any placement. */
void v3db_decode(const v3db_mesh* mesh, v3db_vertex* vertices, v3db_face* faces);

/* A run of faces that one draw call takes. */
typedef struct v3db_draw_call {
  size_t first_face;
  size_t face_count; /* at most V3DB_MAX_CALL_FACES */
} v3db_draw_call;

/* Splits `faces` faces into draw calls of at most V3DB_MAX_CALL_INDICES indices, writing up to
 * `capacity` of them to `calls`. Returns how many calls the faces need, which may be more than
 * `capacity` (call it with capacity 0 to count them). */
size_t v3db_draw_calls(size_t faces, v3db_draw_call* calls, size_t capacity);

/* A short English description of a problem, for a log. */
const char* v3db_problem_text(v3db_problem problem);

#ifdef __cplusplus
}
#endif

#endif
