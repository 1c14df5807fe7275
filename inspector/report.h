// The inspector's words: the summary of a file, and what is wrong with one.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "threedb/summary.h"

namespace inspector {

// A value as the summary prints it: nine significant digits, as a float needs.
std::string number(double value);

// "x low .. high, y low .. high, z low .. high", with "none" for an axis without a finite value.
std::string boxText(const threedb::Summary& summary);

// Prints the summary of the file at `path`, `bytes` long.
void printSummary(std::ostream& out, const std::string& path, std::uint64_t bytes,
                  const threedb::Summary& summary);

// Why a file with this problem is invalid, for a diagnostic; empty for Problem::none.
std::string problemText(const threedb::FileReader& reader);

}  // namespace inspector
