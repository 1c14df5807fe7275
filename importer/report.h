// What the importer writes, and what it says about it.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "common/output.h"
#include "model.h"
#include "options.h"
#include "shape.h"

namespace importer {

// An output and what goes into it.
struct Written {
  std::string path;
  const Shaped* mesh;
  common::OutputFile* file;
  std::streambuf* stream;
  std::uint64_t bytes;
  std::unique_ptr<common::OutputFile> owned;  // a part's, made for it
};

// Writes the mesh to `stream` as the output's kind asks; returns the bytes written.
std::uint64_t write(const Shaped& mesh, OutputKind kind, std::streambuf& stream);

// The summary of an import: `model` as read, before shaping took its arrays, `mesh` as shaped,
// and what was written; and the time each step took.
void printSummary(std::ostream& out, const Options& options, const Model& model,
                  std::size_t trianglesRead, const Shaped& mesh,
                  const std::vector<Written>& written);
void printTimes(std::ostream& out, const Model& model, const Shaped& mesh, double writeSeconds);

}  // namespace importer
