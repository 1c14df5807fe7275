// The inspector's summary as one JSON object, for build tools and scripts.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "threedb/summary.h"

namespace inspector {

// True when this build can write JSON (the JSON library was found when it was made).
bool jsonAvailable() noexcept;

// Writes the summary of the file at `path`, `bytes` long, as one JSON object and a newline: every
// field of the text summary, the device's figures, and the problem that makes the file invalid
// (null when it is sound). The fields are listed in the man page.
void printJson(std::ostream& out, const std::string& path, std::uint64_t bytes,
               const threedb::Summary& summary, const std::string& problem);

}  // namespace inspector
