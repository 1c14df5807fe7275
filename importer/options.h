// The importer's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "isolate.h"
#include "shape.h"

namespace importer {

inline constexpr std::string_view usage =
    "usage: vorlatic-import MODEL OUTPUT [options]\n"
    "       vorlatic-import MODEL --list\n"
    "  MODEL                any model the Open Asset Import Library reads (OBJ, glTF, GLB, PLY,\n"
    "                       STL, FBX, Collada, 3DS, ...)\n"
    "  OUTPUT               ending in .3db (the binary mesh) or .msh / .smsh (mesh text)\n"
    "  --max-vertices N     simplify until the mesh has at most N vertices (3 to 65536)\n"
    "  --split              write a mesh over the limit as parts OUT-1, OUT-2, ... instead\n"
    "  --keep-order         keep the model's vertex order instead of ordering for the device\n"
    "  --up z               the model is Z-up: turn it Y-up\n"
    "  --center             move the bounding-box centre to the origin\n"
    "  --fit SIZE           scale uniformly so that the largest extent is SIZE\n"
    "  --scale F            multiply every coordinate by F (not 0)\n"
    "  --flip-winding       turn every triangle round\n"
    "  --colour RRGGBB[AA]  give every vertex this colour (hex, alpha FF unless given) in a .3db;\n"
    "                       --colour model (the default) takes each vertex's colour from the\n"
    "                       model, else its material's, else opaque green\n"
    "  --mesh NAME          take only the meshes of this name (repeat it for more names)\n"
    "  --list               print the model's meshes (name, node, triangles, vertices,\n"
    "                       colours) and write nothing; OUTPUT is then not needed\n"
    "  --quiet              print nothing but diagnostics\n"
    "  --times              also print how long each step took\n"
    "  --reader-memory MIB  memory for the model reader (default 4096)\n"
    "  --reader-seconds S   CPU time for the model reader (default 300)\n"
    "  --help               print this text\n"
    "  --version            print the version\n"
    "Transforms apply in this order: --up, --center, --fit, --scale, then --flip-winding.\n";

enum class OutputKind { binary, text };

struct Options {
  std::string model, output;
  OutputKind kind = OutputKind::binary;
  ShapeOptions shape;
  std::optional<std::uint32_t> colour;  // one colour word for every vertex, else the model's
  ReaderLimits limits;
  std::vector<std::string> meshes;  // the names of the meshes to take, or every mesh
  bool list = false;                // list the meshes, write nothing
  bool quiet = false;
  bool times = false;
  bool help = false;     // print the usage, nothing else
  bool version = false;  // print the version, nothing else
};

// Reads the command line `args` (args[0] is the program name). False for a usage error, with the
// option or name it concerns and the reason, both empty when the paths are not two (one or two
// with --list). True at once
// on --help or --version, with that set.
bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& what,
                  std::string& reason);

}  // namespace importer
