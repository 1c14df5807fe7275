// What the fuzz targets share: the check that stops a run at a finding, and the whole
// conversion from memory to memory with everything it wrote.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>

#include "run.h"

namespace fuzzing {

// Aborts, which libFuzzer and the replayers report as a finding, unless `condition` holds.
inline void check(bool condition) {
  if (!condition) std::abort();
}

struct Converted {
  int status;
  std::string bytes, console, errors;
};

// `text` converted with `options`: the exit status, the file's bytes and both streams.
inline Converted convert(const std::string& text, const converter::ConvertOptions& options) {
  Converted c;
  std::ostringstream console, errors;
  c.status = converter::convertInMemory(text, c.bytes, console, errors, options);
  c.console = console.str();
  c.errors = errors.str();
  return c;
}

}  // namespace fuzzing
