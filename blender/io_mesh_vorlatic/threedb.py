# The 3DB format: a 15-byte header, 16-byte vertex records, 6-byte face records, every field
# little-endian. Written with explicit little-endian types, so the bytes are the same on any host.

import struct

import numpy as np

MAGIC = b"3DB"
VERSION = 1
HEADER_SIZE = 15
VERTEX_SIZE = 16
FACE_SIZE = 6

# 16-bit indices reach this many vertices.
MAX_VERTICES = 65536
# One draw call on the device takes at most this many indices.
MAX_INDICES_PER_DRAW_CALL = 65535

VERTEX_RECORD = np.dtype([("colour", "<u4"), ("x", "<f4"), ("y", "<f4"), ("z", "<f4")])


def pack_colour(red, green, blue, alpha):
    """The colour word: alpha, blue, green, red from the top, as the graphics unit's 8888."""
    return (alpha << 24) | (blue << 16) | (green << 8) | red


# The colour the converter gives every vertex, since mesh text has none: opaque green.
DEFAULT_COLOUR = pack_colour(0, 255, 0, 255)


class DamagedFile(Exception):
    """A file that is not a sound 3DB file; the message is the reason."""


def draw_calls(triangles):
    return -(-3 * triangles // MAX_INDICES_PER_DRAW_CALL)


def encode(positions, colours, triangles):
    """The file's bytes: positions (V, 3) float32, colours (V,) colour words, triangles (F, 3)
    indices below V."""
    records = np.empty(len(positions), VERTEX_RECORD)
    records["colour"] = colours
    records["x"], records["y"], records["z"] = positions[:, 0], positions[:, 1], positions[:, 2]
    header = MAGIC + struct.pack("<iii", len(positions), len(triangles), VERSION)
    return header + records.tobytes() + np.ascontiguousarray(triangles, "<u2").tobytes()


def decode(data):
    """(positions (V, 3) float32, colours (V,) uint32, faces (F, 3) uint16, declared faceCount)
    from a file's bytes, checked as the tools check it; DamagedFile with the reason otherwise.
    The counts in the header are compared with the size before anything is taken from them."""
    size = len(data)
    if size < HEADER_SIZE:
        raise DamagedFile(
            f"not a 3DB file: {size} bytes, fewer than the {HEADER_SIZE} of a header")
    vertex_count, face_count, version = struct.unpack_from("<iii", data, 3)
    if data[:3] != MAGIC:
        raise DamagedFile('not a 3DB file: it does not begin with "3DB"')
    if version != VERSION:
        raise DamagedFile(f"unknown version {version} (expected {VERSION})")
    if vertex_count < 0:
        raise DamagedFile(f"negative vertexCount {vertex_count}")
    vertex_bytes = VERTEX_SIZE * vertex_count
    if size - HEADER_SIZE < vertex_bytes:
        raise DamagedFile(
            f"truncated: the file ends after {(size - HEADER_SIZE) // VERTEX_SIZE} of "
            f"{vertex_count} vertex records")
    trailing = (size - HEADER_SIZE - vertex_bytes) % FACE_SIZE
    if trailing:
        raise DamagedFile(
            f"{trailing} trailing bytes after the last face record: the size {size} does not "
            f"match {HEADER_SIZE} + {VERTEX_SIZE} x vertexCount + {FACE_SIZE} x face records")
    records = np.frombuffer(data, VERTEX_RECORD, vertex_count, HEADER_SIZE)
    positions = np.stack([records["x"], records["y"], records["z"]], axis=1).astype(np.float32)
    faces = np.frombuffer(data, "<u2", offset=HEADER_SIZE + vertex_bytes).reshape(-1, 3)
    return positions, records["colour"].astype(np.uint32), faces.astype(np.uint16), face_count
