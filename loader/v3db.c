#include "v3db.h"

#include <string.h>

enum { header_size = 15, vertex_size = 16, face_size = 6, format_version = 1 };

static uint32_t load32(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint16_t load16(const unsigned char* p) { return (uint16_t)(p[0] | p[1] << 8); }

/* Two's complement without relying on the conversion of out-of-range values. */
static int32_t signed32(uint32_t value) {
  return value <= 0x7FFFFFFFu ? (int32_t)value : (int32_t)(value - 0x80000000u) - 0x7FFFFFFF - 1;
}

v3db_problem v3db_open(const void* file, size_t size, v3db_mesh* mesh) {
  const unsigned char* bytes = (const unsigned char*)file;
  size_t body, need;
  memset(mesh, 0, sizeof *mesh);
  mesh->bytes = bytes;
  mesh->size = size;
  if (size < header_size) return V3DB_TRUNCATED_HEADER;
  mesh->vertex_count = signed32(load32(bytes + 3));
  mesh->face_count = signed32(load32(bytes + 7));
  mesh->version = signed32(load32(bytes + 11));
  if (memcmp(bytes, "3DB", 3) != 0) return V3DB_BAD_MAGIC;
  if (mesh->version != format_version) return V3DB_UNKNOWN_VERSION;
  if (mesh->vertex_count < 0) return V3DB_NEGATIVE_VERTEX_COUNT;
  body = size - header_size;
  /* Compared by division: 16 x vertexCount can exceed a 32-bit size_t. */
  if (body / vertex_size < (uint32_t)mesh->vertex_count) {
    mesh->vertices = (uint32_t)(body / vertex_size);
    return V3DB_TRUNCATED_VERTICES;
  }
  mesh->vertices = (uint32_t)mesh->vertex_count;
  need = (size_t)mesh->vertices * vertex_size;
  mesh->faces = (body - need) / face_size;
  mesh->trailing = (body - need) % face_size;
  return mesh->trailing ? V3DB_TRAILING_BYTES : V3DB_OK;
}

static int little_endian(void) {
  const uint32_t probe = 1;
  unsigned char first;
  memcpy(&first, &probe, 1);
  return first == 1;
}

/* The records can be used where they lie: the host reads them as the file stores them, and the
 * file sits one byte past a 16-byte boundary. */
static int in_place(const v3db_mesh* mesh) {
  return little_endian() && sizeof(v3db_vertex) == vertex_size && sizeof(float) == 4 &&
         ((uintptr_t)(mesh->bytes + header_size) & 15u) == 0;
}

const v3db_vertex* v3db_vertices_in_place(const v3db_mesh* mesh) {
  return in_place(mesh) ? (const v3db_vertex*)(const void*)(mesh->bytes + header_size) : NULL;
}

const v3db_face* v3db_faces_in_place(const v3db_mesh* mesh) {
  return in_place(mesh) && sizeof(v3db_face) == face_size
             ? (const v3db_face*)(const void*)(mesh->bytes + header_size +
                                               (size_t)mesh->vertices * vertex_size)
             : NULL;
}

void v3db_decode(const v3db_mesh* mesh, v3db_vertex* vertices, v3db_face* faces) {
  const unsigned char* p = mesh->bytes + header_size;
  size_t i;
  for (i = 0; i < mesh->vertices; ++i, p += vertex_size) {
    if (!vertices) continue;
    uint32_t bits[3] = {load32(p + 4), load32(p + 8), load32(p + 12)};
    vertices[i].colour = load32(p);
    memcpy(&vertices[i].x, &bits[0], 4);
    memcpy(&vertices[i].y, &bits[1], 4);
    memcpy(&vertices[i].z, &bits[2], 4);
  }
  if (!faces) return;
  for (i = 0; i < mesh->faces; ++i, p += face_size) {
    faces[i].a = load16(p);
    faces[i].b = load16(p + 2);
    faces[i].c = load16(p + 4);
  }
}

size_t v3db_draw_calls(size_t faces, v3db_draw_call* calls, size_t capacity) {
  size_t count = faces / V3DB_MAX_CALL_FACES + (faces % V3DB_MAX_CALL_FACES != 0);
  size_t i;
  for (i = 0; i < count && i < capacity; ++i) {
    calls[i].first_face = i * V3DB_MAX_CALL_FACES;
    calls[i].face_count = faces - calls[i].first_face < V3DB_MAX_CALL_FACES
                              ? faces - calls[i].first_face
                              : V3DB_MAX_CALL_FACES;
  }
  return count;
}

const char* v3db_problem_text(v3db_problem problem) {
  switch (problem) {
    case V3DB_OK:
      return "sound";
    case V3DB_TRUNCATED_HEADER:
      return "not a 3DB file: fewer than the 15 bytes of a header";
    case V3DB_BAD_MAGIC:
      return "not a 3DB file: it does not begin with \"3DB\"";
    case V3DB_UNKNOWN_VERSION:
      return "unknown version";
    case V3DB_NEGATIVE_VERTEX_COUNT:
      return "negative vertexCount";
    case V3DB_TRUNCATED_VERTICES:
      return "truncated: the file ends inside the vertex records";
    case V3DB_TRAILING_BYTES:
      return "trailing bytes after the last face record";
  }
  return "unknown problem";
}
