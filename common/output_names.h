// What both platforms' outputs share: the names of temporary files and the words of refusals.
#pragma once

#include <string>

namespace common::detail {

// Temporary names: this prefix, then this many letters and digits, as mkstemp makes them. Short
// and fixed, so that a temporary fits wherever its output's name does.
inline constexpr const char* temporaryPrefix = ".vorlatic-";
inline constexpr int temporaryLetters = 6;
// Names tried before giving up: each try fails only when a file of that name exists already.
inline constexpr int temporaryTries = 100;

// A fresh temporary name: the prefix and letters unlikely to be another run's.
std::string temporaryName();

// The reasons an output is refused, for a diagnostic.
std::string cannotCreate(int error);
std::string sameAsInput(const std::string& inputPath);

}  // namespace common::detail
