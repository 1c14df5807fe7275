// The built program on whatever a user's exporter produced, and on the files it leaves behind when
// it fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "program_support.h"

namespace fs = std::filesystem;
using program_support::posix;
using program_support::Program;
using program_support::withNuls;
using testing_support::goldenText;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::writeFile;

namespace {

// Whatever a user's exporter produced: the status, the diagnostic word for word, and what is
// left on disk (no partial output, the input intact, devices untouched).
struct Hostile {
  const char* name;
  std::string input;      // the content of in.msh
  std::string arguments;  // after the program name
  int status;
  std::string diagnostic;  // standard error, exactly
  bool outputLeft;         // whether out.3db exists afterwards
  bool posixOnly = false;  // devices, links, pipes
  std::string feed = "";   // a command whose output is piped in
};

// 1 KiB of every byte value in turn, as a file of another format has them.
std::string binaryJunk() {
  std::string junk;
  for (int i = 0; i < 1024; ++i) junk += char(i * 37 % 256);
  return junk;
}

// Contents no exporter should write, each in.msh as the program finds it.
const Hostile malformedContents[] = {
    {"empty file", "", "in.msh out.3db", 2,
     "vorlatic: in.msh: no vertex and face counts: the input holds no token\n", false},
    {"whitespace only", " \t\r\n\v\f  ", "in.msh out.3db", 2,
     "vorlatic: in.msh: no vertex and face counts: the input holds no token\n", false},
    {"one token", "12\n", "in.msh out.3db", 2,
     "vorlatic: in.msh: no face count: the input holds a single token\n", false},
    {"negative vertex count", "-5 1\n0 1 2\n", "in.msh out.3db", 2,
     "vorlatic: in.msh: negative vertexCount -5\n", false},
    {"huge vertex count, short input", "2147483647 0\n1 2 3\n", "in.msh out.3db", 2,
     "vorlatic: in.msh: the input ends after 1 of 2147483647 declared vertices\n", false},
    {"truncated vertex", "2 0\n1 2 3\n4 5\n", "in.msh out.3db", 2,
     "vorlatic: in.msh: the input ends after 1 of 2 declared vertices\n", false},
    {"trailing partial face", "0 1\n0 1 2\n3 4\n", "in.msh out.3db", 0,
     "vorlatic: in.msh: warning: the last face has only 2 indices; dropped\n", true},
    {"1 MB token", "1 0\n1" + std::string(1 << 20, '0') + " 0 0\n", "in.msh out.3db", 0, "", true},
    {"NUL bytes inside tokens",
     withNuls("1 0\n1\0"
              "2 3\0 4\n"),
     "in.msh out.3db", 0, "", true},
    {"binary junk", binaryJunk(), "in.msh out.3db", 0,
     "vorlatic: in.msh: warning: the last face has only 2 indices; dropped\n"
     "vorlatic: in.msh: warning: faceCount is 0 but the input holds 7 faces; all are "
     "converted and the header keeps 0\n",
     true},
};

// Paths that are not a plain input and a new output, around `overview`, a mesh that converts.
std::vector<Hostile> pathCases(const std::string& overview) {
  return {
      {"directory as input", overview, "folder out.3db", 2,
       "vorlatic: folder: cannot read: Is a directory\n", false, true},
      {"missing input", overview, "missing.msh out.3db", 2,
       "vorlatic: missing.msh: cannot open: No such file or directory\n", false},
      {"input as output, same path", overview, "in.msh in.msh", 2,
       "vorlatic: in.msh: is the same file as the input in.msh; not overwriting it\n", false},
      {"input as output, other spelling", overview, "in.msh ./in.msh", 2,
       "vorlatic: ./in.msh: is the same file as the input in.msh; not overwriting it\n", false},
      {"input as output, symbolic link", overview, "in.msh link.msh", 2,
       "vorlatic: link.msh: is the same file as the input in.msh; not overwriting it\n", false,
       true},
      {"input as output, hard link", overview, "in.msh hard.msh", 2,
       "vorlatic: hard.msh: is the same file as the input in.msh; not overwriting it\n", false},
      {"output in a missing folder", overview, "in.msh nowhere/out.3db", 2,
       "vorlatic: nowhere/out.3db: cannot create: No such file or directory\n", false},
      {"output is a folder", overview, "in.msh folder", 2,
       "vorlatic: folder: cannot create: Is a directory\n", false, true},
      {"full device as output", overview, "in.msh /dev/full", 2,
       "vorlatic: /dev/full: cannot write: No space left on device\n", false, true},
      {"/dev/null as output", overview, "in.msh /dev/null", 0, "", false, true},
      {"input from a pipe", overview, "/dev/stdin out.3db", 0, "", true, true, "cat in.msh"},
  };
}

TEST_F(Program, HostileInputs) {
  const auto expectHostile = [this](const Hostile& c) {
    if (c.posixOnly && !posix) return;
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
    writeInput(c.input);
    fs::create_directory(dir / "folder");
    if (posix) fs::create_symlink("in.msh", dir / "link.msh");
    fs::create_hard_link(dir / "in.msh", dir / "hard.msh");
    RunResult r = run(c.arguments, "true", c.feed);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.diagnostic) << c.name;
    EXPECT_EQ(fs::exists(dir / "out.3db"), c.outputLeft) << c.name;
    EXPECT_EQ(readFile(dir / "in.msh"), c.input) << c.name;
    EXPECT_TRUE(fs::is_directory(dir / "folder")) << c.name;
    if (posix) {
      EXPECT_TRUE(fs::is_character_file("/dev/null") && fs::is_character_file("/dev/full"));
    }
  };
  for (const Hostile& c : malformedContents) expectHostile(c);
  for (const Hostile& c : pathCases(goldenText("overview.msh"))) expectHostile(c);
}

// A failed run leaves whatever stood at the output path as it was, and nothing of its own.
TEST_F(Program, FailedRunsLeaveThePreviousOutputAsItWas) {
  writeFile(dir / "out.3db", "an older conversion");
  writeInput("100000000 0\n1 2 3\n");
  RunResult r = run("in.msh out.3db");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vorlatic: in.msh: the input ends after 1 of 100000000 declared vertices\n");
  EXPECT_EQ(readFile(dir / "out.3db"), "an older conversion");

  // A write that fails halfway: the file size limit stands in for a full disk.
  if (posix) {
    std::string mesh = "100 0\n";
    for (int i = 0; i < 100; ++i) mesh += "1 2 3\n";
    writeInput(mesh);
    fs::remove(dir / "out.3db");
    EXPECT_EQ(shell("in.msh out.3db", ">/dev/null 2>stderr.txt", "trap '' XFSZ && ulimit -f 1"), 2);
    EXPECT_EQ(readFile(dir / "stderr.txt"), "vorlatic: out.3db: cannot write: File too large\n");
    EXPECT_FALSE(fs::exists(dir / "out.3db"));
  }

  // Rejected before the output is opened: an existing file stays as it was.
  writeFile(dir / "out.3db", "an older conversion");
  writeInput("-3 0\n");
  EXPECT_EQ(run("in.msh out.3db").status, 2);
  EXPECT_EQ(readFile(dir / "out.3db"), "an older conversion");
  EXPECT_EQ(testing_support::temporaryFiles(dir.path()), "");
}

}  // namespace
