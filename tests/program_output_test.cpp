// The built program run as a user runs it: golden files byte for byte, the echo whole and in its
// place, names in any script, and on Windows that system's own limits.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "program_support.h"

namespace fs = std::filesystem;
using program_support::normalised;
using program_support::posix;
using program_support::Program;
using program_support::withNuls;
using testing_support::goldenBytes;
using testing_support::goldenText;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::writeFile;

namespace {

struct Golden {
  std::string input;  // the mesh text
  std::string extra;  // further arguments
  std::string stdoutFile;
  std::string bytesFile;
  std::string stderrText;
};

TEST_F(Program, ConvertsGoldenMeshesByteForByte) {
  const Golden cases[] = {
      {goldenText("overview.msh"), "", "overview.stdout", "overview.3db.hex", ""},
      {readFile(VORLATIC_EXAMPLES_DIR "/cube.msh"), "", "cube.stdout", "cube.3db.hex", ""},
      {goldenText("spellings.msh"), "2", "spellings.stdout", "spellings.3db.hex",
       "vorlatic: in.msh: warning: 2 indices outside 0..65535, stored modulo 65536\n"
       "vorlatic: in.msh: warning: faceCount is 2 but the input holds 3 faces; all are "
       "converted and the header keeps 2\n"},
      // Coordinates and indices whose bytes are line feeds and carriage returns: a file
      // written in text mode would not survive them.
      {goldenText("linebreaks.msh"), "", "linebreaks.stdout", "linebreaks.3db.hex", ""},
  };
  for (const auto& c : cases) {
    writeInput(c.input);
    RunResult r = run("in.msh out.3db " + c.extra);
    EXPECT_EQ(r.status, 0) << c.bytesFile;
    EXPECT_EQ(r.out, goldenText(c.stdoutFile)) << c.bytesFile;
    EXPECT_EQ(r.err, c.stderrText) << c.bytesFile;
    EXPECT_EQ(readFile(dir / "out.3db"), goldenBytes(c.bytesFile)) << c.bytesFile;
  }
}

TEST_F(Program, EchoesTokensWholeAndConvertsAPipeAlike) {
  writeInput(
      withNuls("1 1\n1\0"
               "2 3\0 4\n0 1 2\n"));
  RunResult r = run("in.msh out.3db");
  EXPECT_EQ(r.out.substr(r.out.find("vertexCount")), withNuls("vertexCount=1\nfaceCount=1\n1\0"
                                                              "2 3\0 4 \n0 1 2\n"));
  EXPECT_EQ(readFile(dir / "out.3db").substr(15, 16),
            std::string("\x00\xFF\x00\xFF\x00\x00\x80\x3F\x00\x00\x40\x40\x00\x00\x80\x40", 16));

  if (!posix) return;
  writeInput(goldenText("overview.msh"));
  EXPECT_EQ(run("/dev/stdin out.3db", "true", "cat in.msh").status, 0);
  EXPECT_EQ(readFile(dir / "out.3db"), goldenBytes("overview.3db.hex"));
}

TEST_F(Program, FlushesTheEchoBeforeADiagnostic) {
  writeInput("1 0\n1 2 3\n4 5\n");
  EXPECT_EQ(shell("in.msh out.3db", ">both.txt 2>&1"), 0);
  std::string both = normalised(readFile(dir / "both.txt"));
  EXPECT_EQ(both.substr(both.find("vertexCount")),
            "vertexCount=1\nfaceCount=0\n1 2 3 \n"
            "vorlatic: in.msh: warning: the last face has only 2 indices; dropped\n");
}

#ifdef _WIN32
// Windows' own limits: paths past MAX_PATH, and a file that refuses to be replaced.
TEST_F(Program, WindowsReplacesOnlyWhatItMay) {
  writeInput(goldenText("overview.msh"));
  // Five folders of 60 letters: past the 260 characters of MAX_PATH.
  std::string deep;
  for (int i = 0; i < 5; ++i) deep += std::string(60, char('a' + i)) + "\\";
  fs::create_directories(fs::path(L"\\\\?\\" + fs::absolute(dir.path()).wstring()) / deep);
  RunResult r = run("in.msh " + deep + "out.3db");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(fs::path(L"\\\\?\\" + fs::absolute(dir.path()).wstring()) / deep / "out.3db"),
            goldenBytes("overview.3db.hex"));

  // A read-only file refuses to be replaced, as it refuses the shell's `>`; no temporary left.
  writeFile(dir / "ro.3db", "an older conversion");
  fs::permissions(dir / "ro.3db",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  r = run("in.msh ro.3db");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vorlatic: ro.3db: cannot create: Permission denied\n");
  EXPECT_EQ(readFile(dir / "ro.3db"), "an older conversion");
  EXPECT_EQ(testing_support::temporaryFiles(dir.path()), "");

  // A console that is the input: refused before the echo could feed it.
  const std::string input = readFile(dir / "in.msh");
  EXPECT_EQ(shell("in.msh w.3db", ">>in.msh 2>err.txt"), 2);
  EXPECT_EQ(readFile(dir / "in.msh"), input);
  EXPECT_EQ(normalised(readFile(dir / "err.txt")),
            "vorlatic: standard output: is the same file as the input in.msh; not writing into "
            "it\n");
}
#endif

// Names in any script, as a user in any country has them: opened, created and named in
// diagnostics as given (UTF-8 on Windows, bytes elsewhere).
TEST_F(Program, TakesFileNamesInAnyScript) {
  const std::string mesh = "\u6a21\u578b-\u00e9.msh", converted = "\u6a21\u578b-\u00e9.3db",
                    dump = "d\u00fcmp-\u8868.msh";
  writeFile(dir.path() / fs::u8path(mesh), goldenText("overview.msh"));
  RunResult r = run(mesh + " " + converted);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir.path() / fs::u8path(converted)), goldenBytes("overview.3db.hex"));
  EXPECT_EQ(run(mesh + " " + mesh).err, "vorlatic: " + mesh + ": is the same file as the input " +
                                            mesh + "; not overwriting it\n");
  EXPECT_EQ(run("\u7f3a\u5931.msh out.3db").err,
            "vorlatic: \u7f3a\u5931.msh: cannot open: No such file or directory\n");

  exe = VORLATIC_INSPECT_EXE;
  r = run(converted + " --dump " + dump);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("file: " + converted + " (69 bytes)"), std::string::npos) << r.out;
  EXPECT_EQ(normalised(readFile(dir.path() / fs::u8path(dump))),
            "3 1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n");
  EXPECT_EQ(testing_support::temporaryFiles(dir.path()), "");
}

}  // namespace
