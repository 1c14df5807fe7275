// Reading a model file with the Open Asset Import Library.
#pragma once

#include <string>
#include <vector>

#include "model.h"

namespace importer {

// Reads the model at `path` (UTF-8 on Windows): every mesh of every node joined, each node's
// transform baked in (a mirroring one turns its triangles round, so that they keep facing out),
// polygons triangulated, points and lines counted and dropped. False with the library's reason
// in `error` when it cannot read the file. With `leaveReaderAlive` the library's reader and its
// scene are never destroyed, for a process that ends with _exit: some of the library's readers
// read the whole scene and then crash in its destructor.
// Only the meshes named in `meshes` are joined, unless it is empty; the model's list has every
// mesh a node places all the same.
bool readScene(const std::string& path, const std::vector<std::string>& meshes, Model& model,
               std::string& error, bool leaveReaderAlive = false);

}  // namespace importer
