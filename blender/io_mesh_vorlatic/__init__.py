# Vorlatic's 3DB meshes in Blender: File > Export > 3DB mesh (.3db) and File > Import > 3DB mesh
# (.3db). Pure Python over Blender's API and the numpy that Blender bundles.

bl_info = {
    "name": "Vorlatic 3DB mesh format",
    "author": "Vorlatic maintainers",
    "version": (0, 1, 0),
    "blender": (3, 4, 0),
    "location": "File > Import-Export > 3DB mesh (.3db)",
    "description": "Export meshes as the PSP's 3DB meshes, import 3DB meshes",
    "category": "Import-Export",
}

import os

import bpy
from bpy.props import BoolProperty, EnumProperty, FloatProperty, FloatVectorProperty, StringProperty
from bpy_extras.io_utils import ExportHelper, ImportHelper, axis_conversion, orientation_helper
from mathutils import Matrix

from . import export, output, scene, shaping, threedb


# Blender's glTF exporter turns Blender's Z up into +Y up and -Z forward; so does this by default.
@orientation_helper(axis_forward="-Z", axis_up="Y")
class ExportVorlatic(bpy.types.Operator, ExportHelper):
    """Export mesh objects as a 3DB mesh for the PSP"""

    bl_idname = "export_mesh.vorlatic_3db"
    bl_label = "Export 3DB"
    bl_options = {"PRESET"}

    filename_ext = ".3db"
    filter_glob: StringProperty(default="*.3db", options={"HIDDEN"})

    use_selection: BoolProperty(
        name="Selected Only",
        description="Export the selected mesh objects only, rather than every visible one",
        default=False)
    batch_mode: EnumProperty(
        name="Files",
        items=(("OFF", "One File", "Every object joined into the one file"),
               ("OBJECT", "One File per Object",
                "Each object into a file named after it, in the folder of the path chosen")),
        default="OFF")
    use_mesh_modifiers: BoolProperty(
        name="Apply Modifiers",
        description="Export what the viewport shows, every object's modifiers applied",
        default=True)
    global_scale: FloatProperty(
        name="Scale", description="Every coordinate times this", min=0.0001, max=10000.0,
        soft_min=0.01, soft_max=1000.0, default=1.0)
    use_split: BoolProperty(
        name="Split Over the Limit",
        description="Write a mesh of more than 65,536 vertices as parts NAME-1.3db, "
                    "NAME-2.3db, ... each within the limit, rather than refuse it",
        default=False)
    colour_source: EnumProperty(
        name="Color",
        items=(("MESH", "From the Mesh",
                "The active color attribute, else the material's base color, else opaque green"),
               ("SINGLE", "Single Color", "Every vertex the color below")),
        default="MESH")
    colour: FloatVectorProperty(
        name="Vertex Color", description="Every vertex's color, with Single Color",
        subtype="COLOR_GAMMA", size=4, min=0.0, max=1.0, default=(0.0, 1.0, 0.0, 1.0))

    def draw(self, context):
        layout = self.layout
        layout.use_property_split = True
        layout.use_property_decorate = False
        include = layout.box().column(heading="Include")
        include.prop(self, "use_selection")
        include.prop(self, "batch_mode")
        include.prop(self, "use_mesh_modifiers")
        transform = layout.box().column(heading="Transform")
        transform.prop(self, "global_scale")
        transform.prop(self, "axis_forward")
        transform.prop(self, "axis_up")
        geometry = layout.box().column(heading="Geometry")
        geometry.prop(self, "use_split")
        colours = layout.box().column(heading="Color")
        colours.prop(self, "colour_source")
        row = colours.row()
        row.enabled = self.colour_source == "SINGLE"
        row.prop(self, "colour")

    def execute(self, context):
        matrix = (axis_conversion(to_forward=self.axis_forward, to_up=self.axis_up).to_4x4() @
                  Matrix.Scale(self.global_scale, 4))
        colour = None
        if self.colour_source == "SINGLE":  # display colours, already sRGB
            colour = int(shaping.colour_words([self.colour], linear=False)[0])
        try:
            report = export.export(
                context, self.filepath, selected_only=self.use_selection,
                per_object=self.batch_mode == "OBJECT", apply_modifiers=self.use_mesh_modifiers,
                matrix=matrix, colour=colour, split=self.use_split)
        except (export.Refused, output.OutputError) as error:
            message = str(error)
            self.report({"ERROR"}, message[:1].upper() + message[1:])
            return {"CANCELLED"}
        self.report({"INFO"}, report)
        return {"FINISHED"}


@orientation_helper(axis_forward="-Z", axis_up="Y")
class ImportVorlatic(bpy.types.Operator, ImportHelper):
    """Import a 3DB mesh as a mesh object"""

    bl_idname = "import_mesh.vorlatic_3db"
    bl_label = "Import 3DB"
    bl_options = {"UNDO", "PRESET"}

    filename_ext = ".3db"
    filter_glob: StringProperty(default="*.3db", options={"HIDDEN"})

    global_scale: FloatProperty(
        name="Scale", description="Every coordinate times this", min=0.0001, max=10000.0,
        soft_min=0.01, soft_max=1000.0, default=1.0)

    def execute(self, context):
        path = self.filepath
        try:
            with open(path, "rb") as file:
                data = file.read()
            positions, colours, faces, declared = threedb.decode(data)
        except OSError as error:
            self.report({"ERROR"}, f"{path}: cannot read: {error.strerror or error}")
            return {"CANCELLED"}
        except threedb.DamagedFile as error:
            self.report({"ERROR"}, f"{path}: {error}")
            return {"CANCELLED"}
        if len(faces) and int(faces.max()) >= len(positions):
            largest = int(faces.max())
            looks = (" (the indices look 1-based)"
                     if largest == len(positions) and int(faces.min()) >= 1 else "")
            self.report({"ERROR"}, f"{path}: an index reaches {largest}, beyond the "
                                   f"{len(positions):,} vertices{looks}")
            return {"CANCELLED"}
        # A face with a corner twice is no face to Blender.
        sound = ((faces[:, 0] != faces[:, 1]) & (faces[:, 1] != faces[:, 2]) &
                 (faces[:, 0] != faces[:, 2]))
        matrix = (axis_conversion(from_forward=self.axis_forward, from_up=self.axis_up).to_4x4()
                  @ Matrix.Scale(self.global_scale, 4))
        name = os.path.splitext(os.path.basename(path))[0] or "3DB"
        scene.new_mesh_object(context, name, positions, colours, faces[sound], matrix)
        report = (f"Imported {os.path.basename(path)}: {len(positions):,} vertices, "
                  f"{int(sound.sum()):,} triangles")
        if not sound.all():
            report += f"; {len(faces) - int(sound.sum()):,} with a corner twice dropped"
        if declared != len(faces):
            report += f"; the header's faceCount is {declared:,}"
        self.report({"INFO"}, report)
        return {"FINISHED"}


def menu_export(self, context):
    self.layout.operator(ExportVorlatic.bl_idname, text="3DB mesh (.3db)")


def menu_import(self, context):
    self.layout.operator(ImportVorlatic.bl_idname, text="3DB mesh (.3db)")


classes = (ExportVorlatic, ImportVorlatic)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_export.append(menu_export)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    bpy.types.TOPBAR_MT_file_export.remove(menu_export)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
