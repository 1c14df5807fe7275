#include "common/figures.h"

#include <cstdio>

namespace common {

std::string numberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string boxText(const std::array<std::array<float, 2>, 3>& axes) {
  std::string text;
  for (std::size_t a = 0; a < 3; ++a) {
    const auto [low, high] = axes[a];
    text += std::string(a ? ", " : "") + "xyz"[a] + ' ';
    text += low > high ? "none" : numberText(low) + " .. " + numberText(high);
  }
  return text;
}

}  // namespace common
