// File names as the programs take them: bytes on POSIX, UTF-8 on Windows (from the wide command
// line), so that a name outside the legacy code page opens and prints as the user gave it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace common {

// The program's arguments: on Windows read from the wide command line and converted to UTF-8,
// elsewhere the bytes of argv.
std::vector<std::string> arguments(int argc, char** argv);

// A name given as UTF-8 (Windows) or as bytes (POSIX), as std::filesystem takes it.
std::filesystem::path pathOf(const std::string& name);

// A path as UTF-8 (Windows) or bytes (POSIX), for messages and for pathOf.
std::string nameOf(const std::filesystem::path& path);

}  // namespace common
