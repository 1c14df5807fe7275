// The inspector's words: the summary of a file, and what is wrong with one.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "threedb/summary.h"

namespace inspector {

// Prints the summary of the file at `path`, `bytes` long.
void printSummary(std::ostream& out, const std::string& path, std::uint64_t bytes,
                  const threedb::Summary& summary);

// The box as the summaries write it.
std::string boxText(const threedb::Box& box);

// Why a file with this problem is invalid, for a diagnostic; empty for Problem::none.
std::string problemText(const threedb::FileReader& reader);

}  // namespace inspector
