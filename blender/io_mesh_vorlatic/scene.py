# Between Blender's data and the device's triangles: an object's triangles with their colours out,
# a file's mesh in.

import bpy
import numpy as np

from . import shaping, threedb


class Triangles:
    """An object's triangles as the file will have them: (3F, 3) float32 corner positions,
    (3F,) corner colour words, three corners a triangle in turn."""

    def __init__(self, name, corners, colours):
        self.name = name
        self.corners = corners
        self.colours = colours

    @property
    def count(self):
        return len(self.corners) // 3


def _principled(material):
    """The Principled BSDF node that the material's output shows, else any in its tree."""
    if not material.use_nodes or material.node_tree is None:
        return None
    nodes = material.node_tree.nodes
    for node in nodes:
        if node.type == "OUTPUT_MATERIAL" and node.is_active_output:
            surface = node.inputs.get("Surface")
            if surface is not None and surface.is_linked:
                shown = surface.links[0].from_node
                if shown.type == "BSDF_PRINCIPLED":
                    return shown
    return next((node for node in nodes if node.type == "BSDF_PRINCIPLED"), None)


def material_colour(material):
    """The colour word of a material: its Principled BSDF's base colour and alpha, else its
    viewport colour. A base colour that a texture gives has no one value: the viewport colour,
    which a person sets to stand for it, is taken instead. Both are linear light."""
    rgba = list(material.diffuse_color)
    node = _principled(material)
    if node is not None:
        base, alpha = node.inputs.get("Base Color"), node.inputs.get("Alpha")
        if base is not None and not base.is_linked:
            rgba[:3] = base.default_value[:3]
            rgba[3] = alpha.default_value if alpha is not None and not alpha.is_linked else 1.0
    return int(shaping.colour_words([rgba], linear=True)[0])


def _active_colours(mesh):
    """The colour words of the mesh's active colour attribute, and its domain, or None."""
    attributes = getattr(mesh, "color_attributes", None)
    attribute = attributes.active_color if attributes is not None else None
    if attribute is None or attribute.domain not in {"POINT", "CORNER"}:
        return None
    rgba = np.empty(4 * len(attribute.data), np.float32)
    # Byte colours are stored as sRGB and read back exactly as such; float ones are linear.
    if attribute.data_type == "BYTE_COLOR":
        attribute.data.foreach_get("color_srgb", rgba)
        return shaping.colour_words(rgba, linear=False), attribute.domain
    attribute.data.foreach_get("color", rgba)
    return shaping.colour_words(rgba, linear=True), attribute.domain


def _corner_colours(obj, mesh, vertices, loops, material_indices):
    """A colour word for each triangle corner: the active colour attribute's, else the
    material's of its face, else the converter's green."""
    active = _active_colours(mesh)
    if active is not None:
        words, domain = active
        return words[vertices if domain == "POINT" else loops]
    slots = [slot.material for slot in obj.material_slots]
    if not any(slots):
        return np.full(len(vertices), threedb.DEFAULT_COLOUR, np.uint32)
    words = np.array([material_colour(m) if m else threedb.DEFAULT_COLOUR for m in slots],
                     np.uint32)
    # Blender draws a face whose index is past the last slot with the last slot.
    faces = np.minimum(material_indices, len(slots) - 1)
    return np.repeat(words[faces], 3)


def object_triangles(obj, depsgraph, matrix, apply_modifiers, colour=None):
    """The object's triangles as Blender triangulates them, in the file's space: `matrix` times
    its world matrix. A mirroring transform turns every triangle round, so that each keeps
    facing out. `colour`, if given, is every corner's colour word."""
    source = obj.evaluated_get(depsgraph) if apply_modifiers else obj
    mesh = source.to_mesh(preserve_all_data_layers=True, depsgraph=depsgraph)
    try:
        mesh.calc_loop_triangles()
        count = len(mesh.loop_triangles)
        vertices = np.empty(3 * count, np.int32)
        loops = np.empty(3 * count, np.int32)
        materials = np.empty(count, np.int32)
        mesh.loop_triangles.foreach_get("vertices", vertices)
        mesh.loop_triangles.foreach_get("loops", loops)
        mesh.loop_triangles.foreach_get("material_index", materials)
        co = np.empty(3 * len(mesh.vertices), np.float32)
        mesh.vertices.foreach_get("co", co)
        if colour is None:
            colours = _corner_colours(source, mesh, vertices, loops, materials)
        else:
            colours = np.full(3 * count, colour, np.uint32)
    finally:
        source.to_mesh_clear()
    whole = np.array(matrix @ obj.matrix_world, np.float64)
    positions = co.reshape(-1, 3).astype(np.float64) @ whole[:3, :3].T + whole[:3, 3]
    # Plus zero, in float: a zero's sign comes from the order of the product's terms, not from
    # the model, and would tell two welded vertices apart.
    corners = positions.astype(np.float32)[vertices] + np.float32(0)
    if np.linalg.det(whole[:3, :3]) < 0:
        corners = corners.reshape(-1, 3, 3)[:, [0, 2, 1]].reshape(-1, 3)
        colours = colours.reshape(-1, 3)[:, [0, 2, 1]].ravel()
    return Triangles(obj.name, corners, colours)


def new_mesh_object(context, name, positions, colours, faces, matrix):
    """A mesh object of these triangles, placed in the active collection and selected alone:
    the positions times `matrix`, the colours as its active byte colour attribute (sRGB, like
    the file's)."""
    whole = np.array(matrix, np.float64)
    co = positions.astype(np.float64) @ whole[:3, :3].T + whole[:3, 3]
    mesh = bpy.data.meshes.new(name)
    mesh.vertices.add(len(co))
    mesh.vertices.foreach_set("co", (co.astype(np.float32) + np.float32(0)).ravel())
    mesh.loops.add(3 * len(faces))
    mesh.loops.foreach_set("vertex_index", faces.astype(np.int32).ravel())
    mesh.polygons.add(len(faces))
    mesh.polygons.foreach_set("loop_start", np.arange(0, 3 * len(faces), 3, dtype=np.int32))
    if bpy.app.version < (4, 0, 0):  # since 4.0 a face's size follows from the starts
        mesh.polygons.foreach_set("loop_total", np.full(len(faces), 3, np.int32))
    attribute = mesh.color_attributes.new("Color", "BYTE_COLOR", "POINT")
    words = colours.astype(np.uint32)
    rgba = np.stack([(words >> shift) & 0xFF for shift in (0, 8, 16, 24)], axis=1)
    attribute.data.foreach_set("color_srgb", (rgba / 255.0).astype(np.float32).ravel())
    mesh.color_attributes.active_color = attribute
    mesh.color_attributes.render_color_index = mesh.color_attributes.active_color_index
    mesh.update(calc_edges=True)
    obj = bpy.data.objects.new(name, mesh)
    context.collection.objects.link(obj)
    for other in context.view_layer.objects:
        other.select_set(False)
    obj.select_set(True)
    context.view_layer.objects.active = obj
    return obj
