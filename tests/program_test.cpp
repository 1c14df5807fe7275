// The built program run as a user runs it: golden files byte for byte, and what it leaves on disk.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support.h"

namespace fs = std::filesystem;
using testing_support::goldenBytes;
using testing_support::goldenText;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

class Program : public ::testing::Test {
 protected:
  // Runs the program in the scratch folder with `arguments` (a shell fragment, redirections
  // allowed) after the shell commands in `setup`, and captures both streams.
  Result run(const std::string& arguments, const std::string& setup = "true") {
    std::string command = "cd '" + dir.path().string() + "' && " + setup +
                          " && '" VORLATIC_EXE "' " + arguments + " >stdout.txt 2>stderr.txt";
    int raw = std::system(command.c_str());
    Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "stdout.txt"),
             readFile(dir / "stderr.txt")};
    fs::remove(dir / "stdout.txt");
    fs::remove(dir / "stderr.txt");
    return r;
  }
  void writeInput(const std::string& text) { writeFile(dir / "in.msh", text); }

  ScratchDir dir;
};

struct Golden {
  std::string input;  // path of the mesh text
  std::string extra;  // further arguments
  std::string stdoutFile;
  std::string bytesFile;
  std::string stderrText;
};

TEST_F(Program, ConvertsGoldenMeshesByteForByte) {
  const std::string golden = VORLATIC_GOLDEN_DIR;
  const Golden cases[] = {
      {golden + "/overview.msh", "", "overview.stdout", "overview.3db.hex", ""},
      {VORLATIC_EXAMPLES_DIR "/cube.msh", "", "cube.stdout", "cube.3db.hex", ""},
      {golden + "/spellings.msh", "2", "spellings.stdout", "spellings.3db.hex",
       "vorlatic: " + golden +
           "/spellings.msh: warning: 2 indices outside 0..65535, stored "
           "modulo 65536\nvorlatic: " +
           golden +
           "/spellings.msh: warning: faceCount is 2 but the "
           "input holds 3 faces; all are converted and the header keeps 2\n"},
  };
  for (const auto& c : cases) {
    Result r = run("'" + c.input + "' out.3db " + c.extra);
    EXPECT_EQ(r.status, 0) << c.input;
    EXPECT_EQ(r.out, goldenText(c.stdoutFile)) << c.input;
    EXPECT_EQ(r.err, c.stderrText) << c.input;
    EXPECT_EQ(readFile(dir / "out.3db"), goldenBytes(c.bytesFile)) << c.input;
  }
}

TEST_F(Program, ReadsAPipeAsInput) {
  Result r = run("/dev/stdin out.3db < '" VORLATIC_GOLDEN_DIR "/overview.msh'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(dir / "out.3db"), goldenBytes("overview.3db.hex"));
}

TEST_F(Program, WritesToDevicesWithoutRemovingThem) {
  writeInput(goldenText("overview.msh"));
  Result null = run("in.msh /dev/null");
  EXPECT_EQ(null.status, 0);
  EXPECT_EQ(null.err, "");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  Result full = run("in.msh /dev/full");
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "vorlatic: /dev/full: cannot write: No space left on device\n");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(Program, NeverOverwritesItsInput) {
  const std::string mesh = goldenText("overview.msh");
  writeInput(mesh);
  fs::create_symlink("in.msh", dir / "link.msh");
  fs::create_hard_link(dir / "in.msh", dir / "hard.msh");
  for (std::string output : {"in.msh", "./in.msh", "link.msh", "hard.msh"}) {
    Result r = run("in.msh " + output);
    EXPECT_EQ(r.status, 2) << output;
    EXPECT_EQ(r.err, "vorlatic: " + output +
                         ": is the same file as the input in.msh; not "
                         "overwriting it\n");
    EXPECT_EQ(readFile(dir / "in.msh"), mesh) << output;
  }
}

TEST_F(Program, ReportsFilesItCannotUse) {
  writeInput(goldenText("overview.msh"));
  fs::create_directory(dir / "folder");
  const std::pair<std::string, std::string> cases[] = {
      {"missing.msh out.3db", "vorlatic: missing.msh: cannot open: No such file or directory\n"},
      {"folder out.3db", "vorlatic: folder: cannot read: Is a directory\n"},
      {"in.msh nowhere/out.3db",
       "vorlatic: nowhere/out.3db: cannot create: No such file or directory\n"},
      {"in.msh folder", "vorlatic: folder: cannot create: Is a directory\n"},
  };
  for (const auto& [arguments, message] : cases) {
    Result r = run(arguments);
    EXPECT_EQ(r.status, 2) << arguments;
    EXPECT_EQ(r.err, message);
    EXPECT_FALSE(fs::exists(dir / "out.3db")) << arguments;
  }
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST_F(Program, RemovesTheOutputOfAFailedRunOnly) {
  writeFile(dir / "out.3db", "an older conversion");
  writeInput("100000000 0\n1 2 3\n");
  Result r = run("in.msh out.3db");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vorlatic: in.msh: the input ends after 1 of 100000000 declared vertices\n");
  EXPECT_FALSE(fs::exists(dir / "out.3db"));

  // A write that fails halfway: the file size limit stands in for a full disk.
  std::string mesh = "100 0\n";
  for (int i = 0; i < 100; ++i) mesh += "1 2 3\n";
  writeInput(mesh);
  r = run("in.msh out.3db", "trap '' XFSZ && ulimit -f 1");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vorlatic: out.3db: cannot write: File too large\n");
  EXPECT_FALSE(fs::exists(dir / "out.3db"));

  // Rejected before the output is opened: an existing file stays as it was.
  writeFile(dir / "out.3db", "an older conversion");
  writeInput("-3 0\n");
  EXPECT_EQ(run("in.msh out.3db").status, 2);
  EXPECT_EQ(readFile(dir / "out.3db"), "an older conversion");
}

TEST_F(Program, FlushesTheEchoBeforeADiagnostic) {
  writeInput("1 0\n1 2 3\n4 5\n");
  int raw = std::system(
      ("cd '" + dir.path().string() + "' && '" VORLATIC_EXE "' in.msh out.3db >both.txt 2>&1")
          .c_str());
  EXPECT_EQ(WEXITSTATUS(raw), 0);
  std::string both = readFile(dir / "both.txt");
  EXPECT_EQ(both.substr(both.find("vertexCount")),
            "vertexCount=1\nfaceCount=0\n1 2 3 \n"
            "vorlatic: in.msh: warning: the last face has only 2 indices; dropped\n");
}

}  // namespace
