// The model file is read where a fault of the reader cannot reach the rest of the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model.h"

namespace importer {

// What the isolated reader may use.
struct ReaderLimits {
  std::uint64_t memoryMiB = 4096;  // address space
  unsigned seconds = 300;          // CPU time
  unsigned wallSeconds = 600;      // time on the clock
};

// What runs in the reader besides reading, for tests.
struct ReaderHooks {
  void (*beforeReading)() = nullptr;
  void (*afterSending)() = nullptr;  // not on Windows, where nothing is sent
};

// Reads the model at `path`, only its meshes named in `meshes` unless that is empty (the list of
// every mesh comes back all the same). On POSIX in a child process under `limits`, of which only
// positions, indices, colours, counts and the mesh list come back, checked before use; elsewhere in
// this process. A model sent whole is kept whatever becomes of the reader afterwards. False with
// the reason in `error`: the library's own for a file it cannot read, or "the model reader failed:
// ..." for a crash, a limit or a hang before the model was sent.
bool readIsolated(const std::string& path, const std::vector<std::string>& meshes,
                  const ReaderLimits& limits, Model& model, std::string& error,
                  const ReaderHooks& hooks = {});

}  // namespace importer
