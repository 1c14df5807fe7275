// The built program run as a user runs it: golden files byte for byte, and what it leaves on disk.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

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

// A string literal with the NUL bytes inside it.
template <std::size_t N>
std::string withNuls(const char (&text)[N]) {
  return std::string(text, N - 1);
}

struct Result {
  int status;
  std::string out;
  std::string err;
};

#ifdef _WIN32
constexpr bool posix = false;

// cmd.exe wants backslashes, and under wine a Unix path lives on drive Z:.
std::string nativePath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// The console is in text mode: every line ends in CR LF there.
std::string normalised(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}
#else
constexpr bool posix = true;
std::string normalised(std::string text) { return text; }
#endif

class Program : public ::testing::Test {
 protected:
  // Runs the program in the scratch folder with `arguments` (redirections allowed), its output
  // to `redirect`; on POSIX hosts after the shell commands in `setup` and with its input piped
  // from `feed` if any. Returns the exit status.
  int shell(const std::string& arguments, const std::string& redirect,
            const std::string& setup = "true", const std::string& feed = "") {
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

  // The same, capturing both streams.
  Result run(const std::string& arguments, const std::string& setup = "true",
             const std::string& feed = "") {
    int status = shell(arguments, ">stdout.txt 2>stderr.txt", setup, feed);
    Result r{status, normalised(readFile(dir / "stdout.txt")),
             normalised(readFile(dir / "stderr.txt"))};
    fs::remove(dir / "stdout.txt");
    fs::remove(dir / "stderr.txt");
    return r;
  }
  void writeInput(const std::string& text) { writeFile(dir / "in.msh", text); }

  ScratchDir dir;
  std::string exe = VORLATIC_EXE;  // the program that shell() runs
};

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
    Result r = run("in.msh out.3db " + c.extra);
    EXPECT_EQ(r.status, 0) << c.bytesFile;
    EXPECT_EQ(r.out, goldenText(c.stdoutFile)) << c.bytesFile;
    EXPECT_EQ(r.err, c.stderrText) << c.bytesFile;
    EXPECT_EQ(readFile(dir / "out.3db"), goldenBytes(c.bytesFile)) << c.bytesFile;
  }
}

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

TEST_F(Program, HostileInputs) {
  const std::string overview = goldenText("overview.msh");
  const std::string giant = "1" + std::string(1 << 20, '0');
  std::string junk;
  for (int i = 0; i < 1024; ++i) junk += char(i * 37 % 256);
  const Hostile cases[] = {
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
      {"1 MB token", "1 0\n" + giant + " 0 0\n", "in.msh out.3db", 0, "", true},
      {"NUL bytes inside tokens",
       withNuls("1 0\n1\0"
                "2 3\0 4\n"),
       "in.msh out.3db", 0, "", true},
      {"binary junk", junk, "in.msh out.3db", 0,
       "vorlatic: in.msh: warning: the last face has only 2 indices; dropped\n"
       "vorlatic: in.msh: warning: faceCount is 0 but the input holds 7 faces; all are "
       "converted and the header keeps 0\n",
       true},
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
  for (const auto& c : cases) {
    if (c.posixOnly && !posix) continue;
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
    writeInput(c.input);
    fs::create_directory(dir / "folder");
    if (posix) fs::create_symlink("in.msh", dir / "link.msh");
    fs::create_hard_link(dir / "in.msh", dir / "hard.msh");
    Result r = run(c.arguments, "true", c.feed);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.diagnostic) << c.name;
    EXPECT_EQ(fs::exists(dir / "out.3db"), c.outputLeft) << c.name;
    EXPECT_EQ(readFile(dir / "in.msh"), c.input) << c.name;
    EXPECT_TRUE(fs::is_directory(dir / "folder")) << c.name;
    if (posix) {
      EXPECT_TRUE(fs::is_character_file("/dev/null") && fs::is_character_file("/dev/full"));
    }
  }
}

TEST_F(Program, EchoesTokensWholeAndConvertsAPipeAlike) {
  writeInput(
      withNuls("1 1\n1\0"
               "2 3\0 4\n0 1 2\n"));
  Result r = run("in.msh out.3db");
  EXPECT_EQ(r.out.substr(r.out.find("vertexCount")), withNuls("vertexCount=1\nfaceCount=1\n1\0"
                                                              "2 3\0 4 \n0 1 2\n"));
  EXPECT_EQ(readFile(dir / "out.3db").substr(15, 16),
            std::string("\x00\xFF\x00\xFF\x00\x00\x80\x3F\x00\x00\x40\x40\x00\x00\x80\x40", 16));

  if (!posix) return;
  writeInput(goldenText("overview.msh"));
  EXPECT_EQ(run("/dev/stdin out.3db", "true", "cat in.msh").status, 0);
  EXPECT_EQ(readFile(dir / "out.3db"), goldenBytes("overview.3db.hex"));
}

// A failed run leaves whatever stood at the output path as it was, and nothing of its own.
TEST_F(Program, FailedRunsLeaveThePreviousOutputAsItWas) {
  writeFile(dir / "out.3db", "an older conversion");
  writeInput("100000000 0\n1 2 3\n");
  Result r = run("in.msh out.3db");
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
  Result r = run("in.msh " + deep + "out.3db");
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
  Result r = run(mesh + " " + converted);
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
