#include "program_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using testing_support::readFile;

namespace program_support {

#ifdef _WIN32
namespace {

// cmd.exe wants backslashes, and under wine a Unix path lives on drive Z:.
std::string nativePath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

}  // namespace

std::string normalised(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}
#else
std::string normalised(std::string text) { return text; }
#endif

int Program::shell(const std::string& arguments, const std::string& redirect,
                   const std::string& setup, const std::string& feed) {
#ifdef _WIN32
  (void)setup, (void)feed;
  std::string command = "cd /d \"" + nativePath(dir.path().string()) + "\" && \"" +
                        nativePath(exe) + "\" " + arguments + " " + redirect;
  // Through the wide interface, so that names outside the legacy code page survive.
  return _wsystem(fs::u8path(command).wstring().c_str());
#else
  std::string command = "cd '" + dir.path().string() + "' && " + setup + " && " +
                        (feed.empty() ? "" : feed + " | ") + VORLATIC_RUNNER " '" + exe + "' " +
                        arguments + " " + redirect;
  int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
}

testing_support::RunResult Program::run(const std::string& arguments, const std::string& setup,
                                        const std::string& feed) {
  int status = shell(arguments, ">stdout.txt 2>stderr.txt", setup, feed);
  testing_support::RunResult r{status, normalised(readFile(dir / "stdout.txt")),
                               normalised(readFile(dir / "stderr.txt"))};
  fs::remove(dir / "stdout.txt");
  fs::remove(dir / "stderr.txt");
  return r;
}

}  // namespace program_support
