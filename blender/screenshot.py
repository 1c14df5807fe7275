# Takes the README's picture of the export dialog from a real Blender, under a virtual display:
#   xvfb-run -s "-screen 0 1280x800x24" blender --factory-startup --python blender/screenshot.py \
#       -- blender/export-dialog.png FOLDER
# The dialog opens on FOLDER/ship.3db, so that no path of the machine shows in the picture.
import os
import sys

import bpy

output, folder = sys.argv[sys.argv.index("--") + 1:]
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import io_mesh_vorlatic  # noqa: E402

io_mesh_vorlatic.register()
bpy.ops.object.select_all(action="SELECT")
bpy.ops.object.delete()
bpy.ops.mesh.primitive_monkey_add()
bpy.context.object.modifiers.new("Subdivision", "SUBSURF").levels = 2


def open_dialog():
    window = bpy.context.window_manager.windows[0]
    area = max(window.screen.areas, key=lambda a: a.width * a.height)
    with bpy.context.temp_override(window=window, area=area):
        bpy.ops.export_mesh.vorlatic_3db("INVOKE_DEFAULT",
                                         filepath=os.path.join(folder, "ship.3db"))
    bpy.app.timers.register(shoot, first_interval=3.0)


def shoot():
    window = bpy.context.window_manager.windows[-1]  # the file browser's
    with bpy.context.temp_override(window=window):
        bpy.ops.screen.screenshot(filepath=output)
    bpy.ops.wm.quit_blender()


bpy.app.timers.register(open_dialog, first_interval=2.0)
