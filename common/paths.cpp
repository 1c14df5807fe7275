#include "common/paths.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>
#endif

namespace common {

#ifdef _WIN32
namespace {

std::string utf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(std::size_t(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(utf8(wide[i]));
  LocalFree(wide);
  return args;
}

std::filesystem::path pathOf(const std::string& name) { return std::filesystem::u8path(name); }

std::string nameOf(const std::filesystem::path& path) {
  auto text = path.u8string();
  return std::string(text.begin(), text.end());
}
#else
std::vector<std::string> arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path pathOf(const std::string& name) { return std::filesystem::path(name); }

std::string nameOf(const std::filesystem::path& path) { return path.string(); }
#endif

}  // namespace common
