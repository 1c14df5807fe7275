# The Blender add-on's tests, run inside Blender, one check a run:
#   blender -b --factory-startup --python-exit-code 1 --python addon_test.py -- CHECK
#       --zip vorlatic-blender-addon.zip --work DIR --version X.Y.Z [--import=vorlatic-import]
# The add-on is installed from the zip, as a person installs it, into BLENDER_USER_SCRIPTS, which
# must lie inside DIR. Status 77: skipped.

import argparse
import collections
import os
import shutil
import stat
import subprocess
import sys
import tomllib
import zipfile

import addon_utils
import bpy
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from blender_support import (MODULE, add_object, empty_scene, enable, export,  # noqa: E402
                             read3db, refused, words)

SKIPPED = 77


# The zip as Blender's "Install from disk" takes it, its two descriptions alike, and the add-on
# registered and unregistered twice, menus included.
def check_register(args):
    with zipfile.ZipFile(args.zip) as archive:
        names = archive.namelist()
        manifest = tomllib.loads(archive.read(f"{MODULE}/blender_manifest.toml").decode())
    assert all(n.startswith(MODULE + "/") and "__pycache__" not in n for n in names), names
    assert manifest["id"] == MODULE and manifest["version"] == args.version, manifest

    def registered():
        operators = [hasattr(bpy.types, f"{kind}_MESH_OT_vorlatic_3db")
                     for kind in ("EXPORT", "IMPORT")]
        menus = [len([f for f in getattr(menu.draw, "_draw_funcs", [])
                      if f.__module__.startswith(MODULE)])
                 for menu in (bpy.types.TOPBAR_MT_file_export, bpy.types.TOPBAR_MT_file_import)]
        return operators + menus

    for round in (1, 2):
        module = enable()
        assert ".".join(map(str, module.bl_info["version"])) == args.version, module.bl_info
        assert registered() == [True, True, 1, 1], f"round {round}: {registered()}"
        addon_utils.disable(MODULE, default_set=True)
        assert registered() == [False, False, 0, 0], f"round {round}: {registered()}"


# The export against vorlatic-import reading Blender's own glTF export of the same scene.
CUBE_COLOURS = [(30 * i, 200 - 20 * i, 100 + 10 * i, 255 - i) for i in range(8)]


def comparison_scene():
    empty_scene()
    bpy.ops.mesh.primitive_monkey_add()
    monkey = bpy.context.object
    monkey.modifiers.new("Subdivision", "SUBSURF").levels = 2
    material = bpy.data.materials.new("Clay")
    material.use_nodes = True
    material.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (
        0.6, 0.25, 0.05, 1)
    monkey.data.materials.append(material)
    # An L: six corners, one of them reflex, as one face.
    hexagon = add_object("L", [(0, 0, 0), (2, 0, 0), (2, 1, 0), (1, 1, 0), (1, 2, 0), (0, 2, 0)],
                         [range(6)], (-4, 1, 0.5))
    hexagon.rotation_euler = (0.3, 0.2, 0.1)
    bpy.ops.mesh.primitive_cube_add(location=(4, 0, 1), rotation=(0.2, 0.4, 0.6))
    cube = bpy.context.object
    cube.scale = (-1.5, 1, 0.75)
    colours = cube.data.color_attributes.new("Color", "BYTE_COLOR", "POINT")
    colours.data.foreach_set("color_srgb", (np.array(CUBE_COLOURS) / 255).ravel())
    # Two corners of one face at one position: welding makes it a line, dropped by both.
    add_object("Sliver", [(0, 0, 0), (1, 0, 0), (1, 0, 0), (0, 1, 0)], [(0, 1, 2), (0, 1, 3)],
               (0, -3, 0))
    bpy.ops.mesh.primitive_cube_add(location=(0, 0, 50), size=30)  # hidden: in neither file
    bpy.context.object.hide_set(True)


def measures(positions, triangles):
    """Area, signed volume (its sign is the winding's) and bounding box."""
    a, b, c = (positions[triangles[:, k]] for k in range(3))
    area = np.linalg.norm(np.cross(b - a, c - a), axis=1).sum() / 2
    volume = np.einsum("ij,ij->i", a, np.cross(b, c)).sum() / 6
    return area, volume, positions.min(axis=0), positions.max(axis=0)


def check_matches_gltf(args):
    enable()
    comparison_scene()
    for applied in (True, False):
        ours, model, theirs = (os.path.join(args.work, f"{applied}-{name}")
                               for name in ("ours.3db", "scene.glb", "theirs.3db"))
        export(ours, use_mesh_modifiers=applied)
        positions, colours, triangles = read3db(ours)
        assert set(words(CUBE_COLOURS)) <= set(colours.tolist()), "byte colours not kept"
        if not args.importer:
            print("vorlatic-import was not built: the comparison with it is skipped")
            return SKIPPED
        bpy.ops.export_scene.gltf(filepath=model, export_format="GLB", export_apply=applied,
                                  use_visible=True)
        subprocess.run([args.importer, model, theirs, "--quiet"], check=True)
        their_positions, their_colours, their_triangles = read3db(theirs)
        what = f"modifiers applied: {applied}"
        assert (len(positions), len(triangles)) == (len(their_positions), len(their_triangles)), \
            f"{what}: vertices and triangles {len(positions)}, {len(triangles)} here, " \
            f"{len(their_positions)}, {len(their_triangles)} from glTF"
        for name, a, b in zip(("area", "signed volume", "lowest corner", "highest corner"),
                              measures(positions, triangles),
                              measures(their_positions, their_triangles)):
            assert np.allclose(a, b, rtol=1e-5, atol=1e-5), f"{what}: {name} {a} here, {b} there"
        # glTF holds colours as linear light: a byte may come back one step away.
        rgba = lambda word: np.array([(word >> s) & 0xFF for s in (0, 8, 16, 24)])
        left = collections.Counter(colours.tolist())
        for word, count in collections.Counter(their_colours.tolist()).items():
            near = [w for w in left if np.abs(rgba(w) - rgba(word)).max() <= 1 and left[w] == count]
            assert near, f"{what}: colour {word:08X} on {count} vertices there, not here: {left}"
            del left[near[0]]
    return 0


# What is refused, what is split, and that a refusal or a failure leaves every file as it was.
def check_split_parts(work, path, grid):
    """Split: each part within the limit, and the grid's triangles in them once each: as many as
    Blender makes, no two alike, all facing up (+Y) and covering the grid's 10 x 10."""
    export(path, use_split=True)
    parts = sorted(n for n in os.listdir(work) if n.startswith("field-"))
    assert parts == ["field-1.3db", "field-2.3db"], parts
    found = []
    for part in parts:
        positions, _, triangles = read3db(os.path.join(work, part))
        assert len(positions) <= 65536, f"{part}: {len(positions)} vertices"
        found.append(positions[triangles].reshape(-1, 9))
    found = np.concatenate(found)
    grid.data.calc_loop_triangles()
    counts = len(found), len(grid.data.loop_triangles), len(np.unique(found.view("V72")))
    assert len(set(counts)) == 1, f"triangles in the parts, in the grid, distinct: {counts}"
    up = np.cross(found[:, 3:6] - found[:, :3], found[:, 6:] - found[:, :3])[:, 1] / 2
    assert (up > 0).all() and np.isclose(up.sum(), 100), "the parts do not cover the grid"


def check_files(args):
    enable()
    empty_scene()
    bpy.ops.mesh.primitive_grid_add(x_subdivisions=300, y_subdivisions=300, size=10)
    grid = bpy.context.object
    grid.name = "Field"
    vertices = len(grid.data.vertices)
    assert vertices > 65536, vertices
    path = os.path.join(args.work, "field.3db")
    with open(path, "wb") as file:
        file.write(b"old")
    refused(lambda: export(path), '"Field"', f"{vertices:,}", "65,536", "Decimate", "Split")
    assert open(path, "rb").read() == b"old", "the refused export changed the file"
    assert os.listdir(args.work) == ["field.3db"], os.listdir(args.work)

    check_split_parts(args.work, path, grid)

    # A failure while writing leaves the old file and no temporary; a success keeps its mode.
    empty_scene()
    bpy.ops.mesh.primitive_cube_add()
    os.chmod(path, 0o640)
    fsync = os.fsync

    def broken(descriptor):
        raise OSError(5, "Input/output error")

    os.fsync = broken
    try:
        refused(lambda: export(path), "field.3db: cannot write: Input/output error")
    finally:
        os.fsync = fsync
    assert open(path, "rb").read() == b"old", "the failed export changed the file"
    assert not [n for n in os.listdir(args.work) if n.startswith(".vorlatic-")], "a temporary"
    export(path)
    assert stat.S_IMODE(os.stat(path).st_mode) == 0o640, "the file's mode was not kept"
    assert len(read3db(path)[2]) == 12, "the cube was not written"

    # One file per object, named after it, in the folder chosen; the selection only if asked.
    bpy.ops.mesh.primitive_cube_add(location=(3, 0, 0))  # selected, alone
    bpy.context.object.name = "Wheel/Left"
    folder = os.path.join(args.work, "each")
    os.mkdir(folder)
    export(os.path.join(folder, "any.3db"), batch_mode="OBJECT", use_selection=True)
    assert os.listdir(folder) == ["Wheel_Left.3db"], os.listdir(folder)
    export(os.path.join(folder, "any.3db"), batch_mode="OBJECT")
    assert sorted(os.listdir(folder)) == ["Cube.3db", "Wheel_Left.3db"], os.listdir(folder)
    return 0


# Export, import, export again: the same bytes. Then damaged files, refused with their reason.
def check_round_trip(args):
    enable()
    empty_scene()
    bpy.ops.mesh.primitive_monkey_add()
    monkey = bpy.context.object
    monkey.modifiers.new("Subdivision", "SUBSURF").levels = 1
    paint = monkey.data.color_attributes.new("Paint", "BYTE_COLOR", "CORNER")
    paint.data.foreach_set("color_srgb", np.resize([0.1, 0.9, 0.4, 1, 0.8, 0.2, 0.3, 0.5],
                                                   4 * len(paint.data)))
    monkey.data.color_attributes.active_color = paint
    # Float colours are linear light: these are the sRGB definition's values for known bytes.
    srgb = [(0, 64, 128, 255), (200, 255, 17, 128)] * 4
    bpy.ops.mesh.primitive_cube_add(location=(3, 0, 0))
    values = np.array(srgb) / 255
    values[:, :3] = np.where(values[:, :3] <= 0.04045, values[:, :3] / 12.92,
                             ((values[:, :3] + 0.055) / 1.055) ** 2.4)
    bpy.context.object.data.color_attributes.new("Linear", "FLOAT_COLOR", "POINT").data \
        .foreach_set("color", values.ravel())
    first, second = (os.path.join(args.work, n) for n in ("first.3db", "second.3db"))
    export(first)
    positions, colours, _ = read3db(first)
    assert set(words(srgb)) <= set(colours.tolist()), "float colours not made the sRGB bytes"
    # Welded by position and colour: no two vertices alike, and positions in two colours twice.
    pairs = np.concatenate([positions.astype(np.float32).view(np.uint32), colours[:, None]], 1)
    assert len(np.unique(pairs, axis=0)) == len(pairs), "two vertices of one position and colour"
    assert len(np.unique(positions, axis=0)) < len(positions), "no position in two colours"
    empty_scene()
    bpy.ops.import_mesh.vorlatic_3db(filepath=first)
    export(second)
    assert open(first, "rb").read() == open(second, "rb").read(), "the bytes differ"

    data = open(first, "rb").read()
    count = int.from_bytes(data[3:7], "little")
    bad = os.path.join(args.work, "bad.3db")
    for content, reason in [
            (data[:10], "10 bytes, fewer than the 15 of a header"),
            (b"3DC" + data[3:], 'does not begin with "3DB"'),
            (data[:11] + (2).to_bytes(4, "little") + data[15:], "unknown version 2 (expected 1)"),
            (data[:3] + b"\xff" * 4 + data[7:], "negative vertexCount -1"),
            (data[:15 + 16 * 3 + 5], f"the file ends after 3 of {count} vertex records"),
            (data + b"\0\0", "2 trailing bytes after the last face record"),
            (data[:-2] + count.to_bytes(2, "little"), f"an index reaches {count}, beyond the")]:
        with open(bad, "wb") as file:
            file.write(content)
        objects = len(bpy.data.objects)
        refused(lambda: bpy.ops.import_mesh.vorlatic_3db(filepath=bad), reason)
        assert len(bpy.data.objects) == objects, f"an object made of a file with {reason}"
    return 0


CHECKS = {"register": check_register, "matches_gltf": check_matches_gltf,
          "files": check_files, "round_trip": check_round_trip}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=sorted(CHECKS))
    for option in ("--zip", "--work", "--version"):
        parser.add_argument(option, required=True)
    parser.add_argument("--import", dest="importer", default="")
    args = parser.parse_args(sys.argv[sys.argv.index("--") + 1:])
    scripts = os.path.realpath(os.environ.get("BLENDER_USER_SCRIPTS", "/"))
    assert scripts.startswith(os.path.realpath(args.work) + os.sep), \
        "BLENDER_USER_SCRIPTS must name a folder inside --work: the add-on is installed there"
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    bpy.ops.preferences.addon_install(filepath=args.zip, overwrite=True)
    args.work = os.path.join(args.work, "out")  # the outputs' own, beside the scripts folder
    os.makedirs(args.work)
    status = CHECKS[args.check](args)
    print(f"{args.check}: {'skipped' if status == SKIPPED else 'passed'}")
    sys.exit(status)


main()
