// Figures as every program writes them for people to read.
#pragma once

#include <array>
#include <string>

namespace common {

// Nine significant digits: as many as a float needs to come back exactly.
std::string numberText(double value);

// "x low .. high, y low .. high, z low .. high" of three ranges {low, high}; an axis whose low
// is above its high held no value, and is "none".
std::string boxText(const std::array<std::array<float, 2>, 3>& axes);

}  // namespace common
