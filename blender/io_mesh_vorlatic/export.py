# An export from start to end: the objects gathered, each file's mesh fitted to the device, every
# file written or none.

import os
import re

import numpy as np

from . import output, scene, shaping, threedb


class Refused(Exception):
    """An export that cannot be made as asked; the message says why and what would do."""


def _count(number, one, many):
    return f"{number:,} {one if number == 1 else many}"


def _names(objects):
    more = f" and {len(objects) - 3} more" if len(objects) > 3 else ""
    return ", ".join(f'"{o.name}"' for o in objects[:3]) + more


def _over_limit(members, vertices):
    limit = f"more than the {threedb.MAX_VERTICES:,} a 3DB file holds (its indices are 16 bits)"
    if len(members) == 1:
        return (f'"{members[0].name}" has {vertices:,} vertices after welding, {limit}: add a '
                f"Decimate modifier to it, or turn on Split Over the Limit")
    own = sorted(((-shaping.weld(m.corners, m.colours)[0].vertex_count, m.name) for m in members))
    largest = ", ".join(f'"{name}" {-count:,}' for count, name in own[:3])
    more = f" and {len(own) - 3} more" if len(own) > 3 else ""
    return (f"the {len(members)} objects joined have {vertices:,} vertices after welding "
            f"({largest}{more}), {limit}: add a Decimate modifier to the largest, export one "
            f"file per object, or turn on Split Over the Limit")


# Characters that no file name may hold on some system, and names Windows keeps for devices.
_UNSAFE = re.compile(r'[\x00-\x1f<>:"/\\|?*\x7f]')
_DEVICES = re.compile(r"(con|prn|aux|nul|com\d|lpt\d)(\..*)?", re.IGNORECASE)


def file_name(name):
    """An object's name as a file name that every system takes."""
    name = _UNSAFE.sub("_", name).rstrip(" .")
    if not name or _DEVICES.fullmatch(name):
        name = "_" + name
    return name + ".3db"


def _groups(filepath, gathered, per_object):
    """The files to write and the objects each holds: one file of all, or one per object into the
    folder of `filepath`; Refused where two objects' names make one file name."""
    if not per_object:
        return [(filepath, gathered)]
    folder = os.path.dirname(filepath)
    groups = [(os.path.join(folder, file_name(t.name)), [t]) for t in gathered]
    taken = {}
    for path, (member,) in groups:
        other = taken.setdefault(os.path.normcase(path).casefold(), member.name)
        if other != member.name:
            raise Refused(f'"{other}" and "{member.name}" would both be written to {path}: '
                          "rename one of them")
    return groups


def _report(files, encoded, degenerate, skipped):
    """The status bar's line for what was written."""
    vertices = sum(m.vertex_count for _, m in files)
    triangles = sum(len(m.triangles) for _, m in files)
    calls = sum(threedb.draw_calls(len(m.triangles)) for _, m in files)
    size = sum(len(data) for _, data in encoded)
    where = (os.path.basename(files[0][0]) if len(files) == 1
             else f"{len(files)} files ({os.path.basename(files[0][0])}, ...)")
    report = (f"Exported {where}: {_count(vertices, 'vertex', 'vertices')}, "
              f"{_count(triangles, 'triangle', 'triangles')}, {_count(size, 'byte', 'bytes')}, "
              f"{_count(calls, 'draw call', 'draw calls')}")
    if degenerate:
        report += f"; {_count(degenerate, 'degenerate triangle', 'degenerate triangles')} dropped"
    if skipped:
        report += f"; no triangle, not written: {', '.join(skipped)}"
    return report


def export(context, filepath, *, selected_only, per_object, apply_modifiers, matrix, colour,
           split):
    """Exports the visible (or selected) mesh objects to `filepath`, or with `per_object` one
    file each into its folder; `colour` is None for the mesh's own colours. Returns the
    one-line report; Refused, or output.OutputError, leaves every file as it was."""
    pool = context.selected_objects if selected_only else context.view_layer.objects
    objects = sorted((o for o in pool if o.type == "MESH" and o.visible_get()),
                     key=lambda o: o.name)
    if not objects:
        raise Refused(f"no {'selected' if selected_only else 'visible'} mesh object to export")
    depsgraph = context.evaluated_depsgraph_get()
    gathered = [scene.object_triangles(o, depsgraph, matrix, apply_modifiers, colour)
                for o in objects]
    groups = _groups(filepath, gathered, per_object)

    files, skipped, degenerate = [], [], 0
    for path, members in groups:
        members = [m for m in members if m.count]
        mesh = None
        if members:
            mesh, dropped = shaping.weld(np.concatenate([m.corners for m in members]),
                                         np.concatenate([m.colours for m in members]))
            degenerate += dropped
        if mesh is None or not len(mesh.triangles):
            if per_object:
                skipped.append(os.path.basename(path))
                continue
            raise Refused(f"{_names(objects)}: no triangle to export (no faces, or every one "
                          "degenerate)")
        if mesh.vertex_count <= threedb.MAX_VERTICES:
            files.append((path, mesh))
        elif split:
            files += [(shaping.part_path(path, n + 1), part)
                      for n, part in enumerate(shaping.split(mesh))]
        else:
            raise Refused(_over_limit(members, mesh.vertex_count))
    if not files:
        raise Refused(f"{_names(objects)}: no triangle to export (no faces, or every one "
                      "degenerate)")

    encoded = [(path, threedb.encode(m.positions, m.colours, m.triangles)) for path, m in files]
    output.write_all(encoded)

    return _report(files, encoded, degenerate, skipped)
