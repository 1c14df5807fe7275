// Helpers shared by the tests: files, golden hex dumps, scratch folders, running the program.
#pragma once

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

// What a run of a program ended with, and what it wrote to its two streams.
struct RunResult {
  int status;
  std::string out, err;
};

// Runs `program`, called as the programs' run(args, out, errors) is, with both streams captured:
// a test then compares them whole.
template <class Program>
RunResult runCaptured(Program program, const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = program(args, out, err);
  return {status, out.str(), err.str()};
}

// Takes `room` bytes, then refuses, as a full disk does.
class FullAfter : public std::stringbuf {
 public:
  explicit FullAfter(std::size_t room) : room_(room) {}

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    std::streamsize taken = std::min<std::streamsize>(count, std::streamsize(room_));
    room_ -= std::size_t(taken);
    return std::stringbuf::xsputn(data, taken);
  }

 private:
  std::size_t room_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Bytes from a hand-written hex dump: pairs of hex digits, whitespace between, '#' comments.
std::string hexBytes(const std::string& dump);
std::string goldenBytes(const std::string& name);  // tests/golden/<name>, read as a hex dump
std::string goldenText(const std::string& name);   // tests/golden/<name>, as it stands

// The names of the temporary files the programs leave in `dir`, if any, one per line.
std::string temporaryFiles(const std::filesystem::path& dir);

// A fresh folder, removed with everything in it when the test ends.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
