# Fitting triangles to the device as vorlatic-import does: one vertex per bit-equal position and
# colour, degenerate triangles dropped, at most 65,536 vertices a file. Numpy only, no bpy.

import os

import numpy as np

from . import threedb


def channels(values):
    """Channels from 0 to 1 as 8 bits, rounded half away from zero; beyond the range clamped,
    not a number as 0."""
    values = np.nan_to_num(np.asarray(values, np.float64), nan=0.0)
    values = np.clip(values, 0.0, 1.0) * 255
    whole = np.floor(values)
    return (whole + (values - whole >= 0.5)).astype(np.uint32)


def srgb(linear):
    """Linear light as sRGB's transfer function gives it; the device's 8-bit colours are sRGB."""
    linear = np.minimum(np.nan_to_num(np.asarray(linear, np.float64), nan=0.0), 1.0)
    low = linear <= 0.0031308
    curved = 1.055 * np.power(np.where(low, 1.0, linear), 1 / 2.4) - 0.055
    return np.where(low, 12.92 * linear, curved)


def colour_words(rgba, linear):
    """Colour words of (N, 4) channels; linear ones are made sRGB. Alpha is not light, so it is
    never converted."""
    rgba = np.asarray(rgba, np.float64).reshape(-1, 4)
    light = srgb(rgba[:, :3]) if linear else rgba[:, :3]
    red, green, blue = (channels(light[:, i]) for i in range(3))
    return threedb.pack_colour(red, green, blue, channels(rgba[:, 3])).astype(np.uint32)


class Shaped:
    """A mesh for the device: positions (V, 3) float32, colours (V,) words, triangles (F, 3)."""

    def __init__(self, positions, colours, triangles):
        self.positions = positions
        self.colours = colours
        self.triangles = triangles

    @property
    def vertex_count(self):
        return len(self.positions)


def _by_first_use(positions, colours, triangles):
    """The vertices that some triangle uses, numbered in the order the triangles first use them,
    so that a file imported and exported again keeps its order."""
    used, first = np.unique(triangles.ravel(), return_index=True)
    order = used[np.argsort(first, kind="stable")]
    number = np.zeros(len(positions), np.int64)
    number[order] = np.arange(len(order))
    return Shaped(positions[order], colours[order], number[triangles])


def weld(corners, colours):
    """Welds the corners of triangles, (3F, 3) float32 positions and their (3F,) colour words,
    three a triangle in turn: bit-equal positions of one colour become one vertex, a position in
    two colours stays two. Returns the Shaped mesh and how many triangles welding made
    degenerate (two corners one vertex) and dropped."""
    keys = np.empty((len(corners), 4), np.uint32)
    keys[:, :3] = np.ascontiguousarray(corners, np.float32).view(np.uint32)
    keys[:, 3] = colours
    _, first, inverse = np.unique(
        keys.view(np.dtype((np.void, 16))).ravel(), return_index=True, return_inverse=True)
    triangles = inverse.reshape(-1, 3)
    a, b, c = triangles[:, 0], triangles[:, 1], triangles[:, 2]
    sound = (a != b) & (b != c) & (a != c)
    shaped = _by_first_use(corners[first], np.asarray(colours, np.uint32)[first],
                           triangles[sound])
    return shaped, int(len(sound) - np.count_nonzero(sound))


def _spatial_order(positions, triangles):
    """The triangles along a Morton curve through their centres, so that a run of them is a
    compact piece of the mesh."""
    centres = positions[triangles].astype(np.float64).mean(axis=1)
    centres = np.nan_to_num(centres, nan=0.0, posinf=0.0, neginf=0.0)
    low, high = centres.min(axis=0), centres.max(axis=0)
    extent = np.where(high > low, high - low, 1.0)
    cells = np.clip(((centres - low) / extent * 1023).astype(np.int64), 0, 1023)
    code = np.zeros(len(triangles), np.int64)
    for bit in range(10):
        for axis in range(3):
            code |= ((cells[:, axis] >> bit) & 1) << (3 * bit + axis)
    return triangles[np.argsort(code, kind="stable")]


def split(mesh, limit=threedb.MAX_VERTICES):
    """The mesh in parts of at most `limit` vertices: its triangles in spatial order, taken in
    turn until the next would bring a part past the limit, so every triangle is in exactly one
    part. A vertex on the seam between two parts is in both."""
    ordered = _spatial_order(mesh.positions, mesh.triangles)

    def fits(start, end):
        return len(np.unique(ordered[start:end])) <= limit

    parts, start, total = [], 0, len(ordered)
    while start < total:
        # The longest run from `start` that fits: a length that fits doubled until one does not
        # (or the rest is passed), then the two halved down to it. One triangle always fits.
        remaining = total - start
        fitting, beyond = 1, 2
        while beyond <= remaining and fits(start, start + beyond):
            fitting, beyond = beyond, beyond * 2
        beyond = min(beyond, remaining + 1)
        while beyond - fitting > 1:
            middle = (fitting + beyond) // 2
            if fits(start, start + middle):
                fitting = middle
            else:
                beyond = middle
        parts.append(_by_first_use(mesh.positions, mesh.colours, ordered[start:start + fitting]))
        start += fitting
    return parts


def part_path(path, number):
    """Part `number` of a file: STEM-number.EXT beside it, as vorlatic-import --split names it."""
    stem, extension = os.path.splitext(path)
    return stem + "-" + str(number) + extension
