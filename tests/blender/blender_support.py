# What the add-on's checks share: the add-on enabled, scenes made and exported, 3DB files read
# apart from the add-on.

import addon_utils
import bpy
import numpy as np

MODULE = "io_mesh_vorlatic"


def refused(call, *words):
    """The operator call fails with a message that holds every one of `words`."""
    try:
        call()
    except RuntimeError as error:
        assert all(w in str(error) for w in words), f"{str(error)!r} lacks one of {words}"
        return
    raise AssertionError(f"not refused; expected a message with {words}")


def read3db(path):
    """Positions, colour words and triangles of a 3DB file, read apart from the add-on."""
    data = open(path, "rb").read()
    vertices, faces, version = np.frombuffer(data, "<i4", 3, 3)
    records = np.frombuffer(data, "<u4", 4 * vertices, 15).reshape(-1, 4)
    triangles = np.frombuffer(data, "<u2", offset=15 + 16 * vertices).reshape(-1, 3)
    assert data[:3] == b"3DB" and version == 1 and faces == len(triangles), f"{path}: header"
    return records[:, 1:].copy().view("<f4").astype(np.float64), records[:, 0], triangles


def words(rgba):
    return [r | g << 8 | b << 16 | a << 24 for r, g, b, a in rgba]


def empty_scene():
    for obj in list(bpy.data.objects):
        bpy.data.objects.remove(obj)


def add_object(name, corners, faces, location):
    mesh = bpy.data.meshes.new(name)
    mesh.from_pydata(corners, [], faces)
    obj = bpy.data.objects.new(name, mesh)
    bpy.context.collection.objects.link(obj)
    obj.location = location
    return obj


def enable():
    module = addon_utils.enable(MODULE, default_set=True)
    assert module is not None, "the add-on did not enable"
    return module


def export(path, **options):
    bpy.ops.export_mesh.vorlatic_3db(filepath=path, **options)
