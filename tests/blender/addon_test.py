# The Blender add-on's tests, run inside Blender, each check on its own:
#   blender -b --factory-startup --python-exit-code 1 --python addon_test.py -- CHECK
#       --zip vorlatic-blender-addon.zip --work DIR --version X.Y.Z [--import=vorlatic-import]
# BLENDER_USER_SCRIPTS must name a folder of the test's own: the add-on is installed there from
# the zip, as a person installs it. Status 77: skipped.

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

SKIPPED = 77
MODULE = "io_mesh_vorlatic"


def fail(message):
    raise AssertionError(message)


def expect(condition, message):
    if not condition:
        fail(message)


def expect_refused(call, *words):
    """The operator call fails, and its message holds every one of `words`."""
    try:
        call()
    except RuntimeError as error:
        missing = [w for w in words if w not in str(error)]
        expect(not missing, f"the message {str(error)!r} lacks {missing}")
        return str(error)
    fail(f"not refused; expected a message with {words}")


def read3db(path):
    """Positions, colour words and triangles of a 3DB file, read apart from the add-on."""
    data = open(path, "rb").read()
    expect(data[:3] == b"3DB", f"{path}: no magic")
    vertices, faces, version = np.frombuffer(data, "<i4", 3, 3)
    records = np.frombuffer(data, "<u4", 4 * vertices, 15).reshape(-1, 4)
    triangles = np.frombuffer(data, "<u2", offset=15 + 16 * vertices).reshape(-1, 3)
    expect(version == 1 and faces == len(triangles), f"{path}: header")
    return records[:, 1:].copy().view("<f4").astype(np.float64), records[:, 0], triangles


def measures(positions, triangles):
    """Area, signed volume and bounding box: alike for two files of one surface, whatever their
    vertex order; the volume's sign is the winding's."""
    a, b, c = (positions[triangles[:, k]] for k in range(3))
    cross = np.cross(b - a, c - a)
    area = np.linalg.norm(cross, axis=1).sum() / 2
    volume = np.einsum("ij,ij->i", a, np.cross(b, c)).sum() / 6
    return area, volume, positions.min(axis=0), positions.max(axis=0)


def empty_scene():
    for obj in list(bpy.data.objects):
        bpy.data.objects.remove(obj)
    for mesh in list(bpy.data.meshes):
        bpy.data.meshes.remove(mesh)


def install(zip_path):
    bpy.ops.preferences.addon_install(filepath=zip_path, overwrite=True)


def enable():
    def stop(error):
        raise error

    module = addon_utils.enable(MODULE, default_set=True, handle_error=stop)
    expect(module is not None, "the add-on did not enable")
    return module


def export(path, **options):
    return bpy.ops.export_mesh.vorlatic_3db(filepath=path, **options)


def point_colours(obj, colours):
    """A point-domain byte colour attribute of these sRGB bytes, one a vertex."""
    attribute = obj.data.color_attributes.new("Color", "BYTE_COLOR", "POINT")
    attribute.data.foreach_set("color_srgb", (np.asarray(colours) / 255.0).ravel())
    return attribute


def linear(srgb_bytes):
    """sRGB bytes as linear light, by the sRGB definition."""
    value = np.asarray(srgb_bytes, np.float64) / 255
    return np.where(value <= 0.04045, value / 12.92, ((value + 0.055) / 1.055) ** 2.4)


def words(rgba):
    return [r | g << 8 | b << 16 | a << 24 for r, g, b, a in rgba]


# The registration: the zip as Blender's "Install from disk" takes it, and its two descriptions.
def check_register(args):
    with zipfile.ZipFile(args.zip) as archive:
        names = archive.namelist()
        manifest = tomllib.loads(archive.read(f"{MODULE}/blender_manifest.toml").decode())
    expect(all(n.startswith(MODULE + "/") for n in names), f"not all in {MODULE}/: {names}")
    expect(not any("__pycache__" in n or n.endswith(".pyc") for n in names), f"caches: {names}")
    expect(manifest["id"] == MODULE and manifest["version"] == args.version,
           f"manifest: {manifest}")
    install(args.zip)
    for round in range(2):
        module = enable()
        expect(".".join(map(str, module.bl_info["version"])) == args.version,
               f"bl_info version {module.bl_info['version']}, not {args.version}")
        for name in ("EXPORT_MESH_OT_vorlatic_3db", "IMPORT_MESH_OT_vorlatic_3db"):
            expect(hasattr(bpy.types, name), f"round {round + 1}: {name} not registered")
        for menu in (bpy.types.TOPBAR_MT_file_export, bpy.types.TOPBAR_MT_file_import):
            entries = [f for f in getattr(menu.draw, "_draw_funcs", [])
                       if f.__module__.startswith(MODULE)]
            expect(len(entries) == 1, f"round {round + 1}: {menu.__name__} has {entries}")
        addon_utils.disable(MODULE, default_set=True, handle_error=lambda e: fail(str(e)))
        for name in ("EXPORT_MESH_OT_vorlatic_3db", "IMPORT_MESH_OT_vorlatic_3db"):
            expect(not hasattr(bpy.types, name), f"round {round + 1}: {name} left registered")
        for menu in (bpy.types.TOPBAR_MT_file_export, bpy.types.TOPBAR_MT_file_import):
            expect(not any(f.__module__.startswith(MODULE)
                           for f in getattr(menu.draw, "_draw_funcs", [])),
                   f"round {round + 1}: {menu.__name__} keeps an entry")


# The export against vorlatic-import reading Blender's own glTF export of the same scene.
CUBE_COLOURS = [(30 * i, 200 - 20 * i, 100 + 10 * i, 255 - i) for i in range(8)]


def comparison_scene():
    empty_scene()
    bpy.ops.mesh.primitive_monkey_add(location=(0, 0, 0))
    monkey = bpy.context.object
    monkey.modifiers.new("Subdivision", "SUBSURF").levels = 2
    material = bpy.data.materials.new("Clay")
    material.use_nodes = True
    material.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (
        0.6, 0.25, 0.05, 1)
    monkey.data.materials.append(material)
    # An L: six corners, one of them reflex, as one face.
    corners = [(0, 0, 0), (2, 0, 0), (2, 1, 0), (1, 1, 0), (1, 2, 0), (0, 2, 0)]
    mesh = bpy.data.meshes.new("L")
    mesh.from_pydata(corners, [], [range(6)])
    hexagon = bpy.data.objects.new("L", mesh)
    bpy.context.collection.objects.link(hexagon)
    hexagon.location = (-4, 1, 0.5)
    hexagon.rotation_euler = (0.3, 0.2, 0.1)
    bpy.ops.mesh.primitive_cube_add(location=(4, 0, 1), rotation=(0.2, 0.4, 0.6))
    cube = bpy.context.object
    cube.scale = (-1.5, 1, 0.75)
    point_colours(cube, CUBE_COLOURS)
    # Two corners of one face at one position: welding makes it a line, dropped by both.
    mesh = bpy.data.meshes.new("Sliver")
    mesh.from_pydata([(0, 0, 0), (1, 0, 0), (1, 0, 0), (0, 1, 0)], [], [(0, 1, 2), (0, 1, 3)])
    sliver = bpy.data.objects.new("Sliver", mesh)
    bpy.context.collection.objects.link(sliver)
    sliver.location = (0, -3, 0)
    # Hidden: in neither file.
    bpy.ops.mesh.primitive_cube_add(location=(0, 0, 50), size=30)
    bpy.context.object.hide_set(True)


def check_matches_gltf(args):
    enable()
    comparison_scene()
    for applied in (True, False):
        ours = os.path.join(args.work, f"ours-{applied}.3db")
        export(ours, use_mesh_modifiers=applied)
        positions, colours, triangles = read3db(ours)
        expect(set(words(CUBE_COLOURS)) <= set(colours.tolist()),
               "the cube's byte colours are not kept exactly")
        if not args.importer:
            print("vorlatic-import was not built: the comparison with it is skipped")
            return SKIPPED
        model = os.path.join(args.work, f"scene-{applied}.glb")
        bpy.ops.export_scene.gltf(filepath=model, export_format="GLB", export_apply=applied,
                                  use_visible=True)
        theirs = os.path.join(args.work, f"theirs-{applied}.3db")
        subprocess.run([args.importer, model, theirs, "--quiet"], check=True)
        compare(positions, colours, triangles, *read3db(theirs),
                "modifiers applied" if applied else "modifiers not applied")
    return 0


def compare(positions, colours, triangles, their_positions, their_colours, their_triangles,
            what):
    expect(len(triangles) == len(their_triangles),
           f"{what}: triangles: {len(triangles)} here, {len(their_triangles)} from glTF")
    expect(len(positions) == len(their_positions),
           f"{what}: vertices: {len(positions)} here, {len(their_positions)} from glTF")
    mine, other = measures(positions, triangles), measures(their_positions, their_triangles)
    for name, a, b in zip(("area", "signed volume", "lowest corner", "highest corner"),
                          mine, other):
        expect(np.allclose(a, b, rtol=1e-5, atol=1e-5), f"{what}: {name}: {a} here, {b} from glTF")
    # glTF stores colours as linear light: a byte may come back one step away.
    rgba = lambda word: np.array([(word >> s) & 0xFF for s in (0, 8, 16, 24)], np.int64)
    left = collections.Counter(colours.tolist())
    for word, count in collections.Counter(their_colours.tolist()).items():
        near = [w for w in left if np.abs(rgba(w) - rgba(word)).max() <= 1 and left[w] == count]
        expect(near, f"{what}: colour {word:08X} on {count} vertices from glTF, not here: {left}")
        del left[near[0]]


# What is written, what is refused, and that a refusal or a failure leaves no file behind.
def check_files(args):
    enable()
    empty_scene()
    bpy.ops.mesh.primitive_grid_add(x_subdivisions=300, y_subdivisions=300, size=10)
    grid = bpy.context.object
    grid.name = "Field"
    path = os.path.join(args.work, "field.3db")
    with open(path, "wb") as file:
        file.write(b"old")
    vertices = len(grid.data.vertices)
    expect(vertices > 65536, f"the grid has only {vertices} vertices")
    expect_refused(lambda: export(path), '"Field"', f"{vertices:,}", "65,536", "Decimate",
                   "Split")
    expect(open(path, "rb").read() == b"old", "the refused export changed the file")
    expect(sorted(os.listdir(args.work)) == ["field.3db"], f"left: {os.listdir(args.work)}")

    # Split: every triangle of the grid in exactly one part, each within the limit.
    export(path, use_split=True)
    parts = sorted(n for n in os.listdir(args.work) if n.startswith("field-"))
    expect(parts == ["field-1.3db", "field-2.3db"], f"parts: {parts}")
    found = []
    for part in parts:
        positions, _, triangles = read3db(os.path.join(args.work, part))
        expect(len(positions) <= 65536, f"{part}: {len(positions)} vertices")
        found.append(positions[triangles].reshape(-1, 9))
    grid.data.calc_loop_triangles()
    co = np.empty(3 * len(grid.data.vertices))
    grid.data.vertices.foreach_get("co", co)
    co = co.reshape(-1, 3)[:, [0, 2, 1]] * [1, 1, -1]  # +Y up, -Z forward
    corners = np.empty(3 * len(grid.data.loop_triangles), np.int64)
    grid.data.loop_triangles.foreach_get("vertices", corners)
    wanted = co[corners].reshape(-1, 9)

    def canonical(triangles):  # each turned to start at its least corner, winding kept
        corners = triangles.reshape(-1, 3)
        rank = np.empty(len(corners), np.int64)
        rank[np.lexsort(corners.T[::-1])] = np.arange(len(corners))
        least = rank.reshape(-1, 3).argmin(axis=1)
        turns = np.stack([np.roll(triangles.reshape(-1, 3, 3), -k, axis=1) for k in range(3)])
        turned = turns[least, np.arange(len(triangles))].reshape(-1, 9)
        return turned[np.lexsort(turned.T[::-1])]

    expect(np.array_equal(canonical(np.concatenate(found)), canonical(wanted)),
           "the parts do not hold the grid's triangles once each")

    # A failure while writing leaves the old file and no temporary; a success keeps its mode.
    empty_scene()
    bpy.ops.mesh.primitive_cube_add()
    os.chmod(path, 0o640)
    real_fsync = os.fsync

    def broken(descriptor):
        raise OSError(5, "Input/output error")

    os.fsync = broken
    try:
        expect_refused(lambda: export(path), "field.3db", "cannot write", "Input/output error")
    finally:
        os.fsync = real_fsync
    expect(open(path, "rb").read() == b"old", "the failed export changed the file")
    expect(not [n for n in os.listdir(args.work) if n.startswith(".vorlatic-")],
           f"a temporary was left: {os.listdir(args.work)}")
    export(path)
    expect(stat.S_IMODE(os.stat(path).st_mode) == 0o640, "the file's mode was not kept")
    expect(len(read3db(path)[2]) == 12, "the cube was not written")

    # One file per object, named after it, in the folder chosen; the selection only if asked.
    bpy.ops.mesh.primitive_cube_add(location=(3, 0, 0))  # selected, alone
    bpy.context.object.name = "Wheel/Left"
    folder = os.path.join(args.work, "each")
    os.mkdir(folder)
    export(os.path.join(folder, "any.3db"), batch_mode="OBJECT", use_selection=True)
    expect(os.listdir(folder) == ["Wheel_Left.3db"], f"selection: {os.listdir(folder)}")
    export(os.path.join(folder, "any.3db"), batch_mode="OBJECT")
    expect(sorted(os.listdir(folder)) == ["Cube.3db", "Wheel_Left.3db"],
           f"per object: {os.listdir(folder)}")
    return 0


# Export, import, export again: the same bytes. Then damaged files, refused with their reason.
def check_round_trip(args):
    enable()
    empty_scene()
    bpy.ops.mesh.primitive_monkey_add()
    monkey = bpy.context.object
    monkey.modifiers.new("Subdivision", "SUBSURF").levels = 1
    corner = monkey.data.color_attributes.new("Paint", "BYTE_COLOR", "CORNER")
    corner.data.foreach_set("color_srgb", np.tile(
        [[0.1, 0.9, 0.4, 1], [0.8, 0.2, 0.3, 0.5]], (len(corner.data) // 2 + 1, 1))[
            :len(corner.data)].ravel())
    monkey.data.color_attributes.active_color = corner
    # Float colours are linear light; these are the linear values of known sRGB bytes.
    srgb = [(0, 64, 128, 255), (200, 255, 17, 128)] * 4
    bpy.ops.mesh.primitive_cube_add(location=(3, 0, 0))
    cube = bpy.context.object
    floats = cube.data.color_attributes.new("Linear", "FLOAT_COLOR", "POINT")
    values = np.array(srgb, np.float64)
    values[:, :3] = linear(values[:, :3])
    values[:, 3] /= 255
    floats.data.foreach_set("color", values.ravel())
    first, second = (os.path.join(args.work, n) for n in ("first.3db", "second.3db"))
    export(first)
    positions, colours, _ = read3db(first)
    expect(set(words(srgb)) <= set(colours.tolist()), "float colours not made the sRGB bytes")
    # Welded by position and colour: no two vertices alike, and positions in two colours twice.
    pairs = np.concatenate([positions.astype(np.float32).view(np.uint32), colours[:, None]], 1)
    expect(len(np.unique(pairs, axis=0)) == len(pairs), "two vertices of one position and colour")
    expect(len(np.unique(positions, axis=0)) < len(positions), "no position in two colours")
    empty_scene()
    bpy.ops.import_mesh.vorlatic_3db(filepath=first)
    export(second)
    expect(open(first, "rb").read() == open(second, "rb").read(),
           "exported, imported and exported again, the bytes differ")

    data = open(first, "rb").read()
    vertex_count = int.from_bytes(data[3:7], "little")
    beyond = data[:-2] + vertex_count.to_bytes(2, "little")
    damaged = [
        (data[:10], "10 bytes, fewer than the 15 of a header"),
        (b"3DC" + data[3:], 'does not begin with "3DB"'),
        (data[:11] + (2).to_bytes(4, "little") + data[15:], "unknown version 2 (expected 1)"),
        (data[:3] + (-1).to_bytes(4, "little", signed=True) + data[7:], "negative vertexCount -1"),
        (data[:15 + 16 * 3 + 5], f"the file ends after 3 of {vertex_count} vertex records"),
        (data + b"\0\0", "2 trailing bytes after the last face record"),
        (beyond, f"an index reaches {vertex_count}, beyond the"),
    ]
    bad = os.path.join(args.work, "bad.3db")
    for content, reason in damaged:
        with open(bad, "wb") as file:
            file.write(content)
        before = len(bpy.data.objects)
        expect_refused(lambda: bpy.ops.import_mesh.vorlatic_3db(filepath=bad), reason)
        expect(len(bpy.data.objects) == before, f"an object was made of a file with {reason}")
    return 0


CHECKS = {"register": check_register, "matches_gltf": check_matches_gltf,
          "files": check_files, "round_trip": check_round_trip}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--zip", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--import", dest="importer", default="")
    args = parser.parse_args(sys.argv[sys.argv.index("--") + 1:])
    scripts = os.environ.get("BLENDER_USER_SCRIPTS", "")
    inside = os.path.realpath(args.work) + os.sep
    expect(scripts and os.path.realpath(scripts).startswith(inside),
           "BLENDER_USER_SCRIPTS must name a folder inside --work: the add-on is installed there")
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    if args.check != "register":
        install(args.zip)
        # The scripts folder is inside the work folder: the outputs go to one of their own.
        args.work = os.path.join(args.work, "out")
        os.makedirs(args.work)
    status = CHECKS[args.check](args)
    print(f"{args.check}: {'skipped' if status == SKIPPED else 'passed'}")
    sys.exit(status or 0)


main()
