// What the programs do to the files around them, run as a user runs them (POSIX shells): the
// previous output survives every failed, interrupted or concurrent run, links and permission bits
// are kept, devices are written and never removed, no output is ever the input, a full or closed
// console fails the run, and running out of memory is a diagnostic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::ScratchDir;

namespace {

// One run in a scratch folder: `setup` (bash lines) first, then `command` with its standard error
// captured, in which {vorlatic} and {inspect} stand for the programs; then `check` must succeed.
// The folder holds in.msh (a small mesh), expected.3db (its conversion), previous.3db (an older
// file), big.msh and big.3db (large enough to be interrupted mid-run) before the setup.
struct FileCase {
  const char* name;
  std::string setup;
  std::string command;
  int status;
  std::string diagnostic;  // standard error, exactly
  std::string check;
};

// Runs `program` in the background, its console a pipe that nobody reads (so it stops once the
// pipe is full), waits until its temporary file appears, then sends it `signal`; the status is
// the program's.
std::string interrupted(const std::string& program, const std::string& signal) {
  return "mkfifo console; exec 3<>console; " + program +
         " >console & pid=$!; for i in $(seq 400); do ls *.tmp >/dev/null 2>&1 && break; "
         "sleep 0.05; done; kill -s " +
         signal + " $pid; wait $pid";
}

class Files : public ::testing::Test {
 protected:
  // Every test checks that the shared files were made: a failure there is the test's own.
  void SetUp() override { ASSERT_TRUE(fixturesMade) << "could not make the shared files"; }

  static void SetUpTestSuite() {
    std::string big = "100000 200000\n";
    for (int i = 0; i < 100000; ++i) big += std::to_string(i) + ".5 -" + std::to_string(i) + " 7\n";
    for (int i = 0; i < 200000; ++i) big += "0 1 " + std::to_string(i % 60000) + "\n";
    testing_support::writeFile(fixtures.path() / "big.msh", big);
    testing_support::writeFile(fixtures.path() / "in.msh", "3 1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n");
    fixturesMade = shell(fixtures.path(), "",
                         "{vorlatic} big.msh big.3db >/dev/null && "
                         "{vorlatic} in.msh expected.3db >/dev/null && "
                         "printf 'an older file' >previous.3db") == 0;
  }

  // Runs `setup`, then `command`, through bash in `dir`; returns the status of the command.
  static int shell(const fs::path& dir, const std::string& setup, std::string command) {
    // In a cross build, through the emulator.
    for (auto [name, exe] : {std::pair<std::string, std::string>{"{vorlatic}", VORLATIC_EXE},
                             {"{inspect}", VORLATIC_INSPECT_EXE},
#ifdef VORLATIC_IMPORT_EXE
                             { "{import}",
                               VORLATIC_IMPORT_EXE }
#endif
         })
      for (std::size_t at; (at = command.find(name)) != std::string::npos;)
        command.replace(at, name.size(), VORLATIC_RUNNER " '" + exe + "'");
    std::string script = "cd '" + dir.string() + "' || exit 99\n" + setup + "\n" + command;
    std::string quoted;
    for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    int raw = std::system(("bash -c '" + quoted + "'").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  void runCase(const FileCase& c) {
    ScratchDir dir;
    fs::copy(fixtures.path(), dir.path(), fs::copy_options::recursive);
    int status = shell(dir.path(), c.setup, "{ " + c.command + "\n} 2>stderr.txt");
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(readFile(dir / "stderr.txt"), c.diagnostic) << c.name;
    EXPECT_EQ(shell(dir.path(), "", c.check), 0) << c.name << ": " << c.check;
    EXPECT_EQ(testing_support::temporaryFiles(dir.path()), "") << c.name;
  }

  static ScratchDir fixtures;
  static bool fixturesMade;
};
ScratchDir Files::fixtures;
bool Files::fixturesMade = false;

TEST_F(Files, TheConverterLosesNoFile) {
  const FileCase cases[] = {
      {"a failed run keeps the previous output",
       "cp previous.3db out.3db && printf '5 0 1 2 3' >bad.msh",
       "{vorlatic} bad.msh out.3db >/dev/null", 2,
       "vorlatic: bad.msh: the input ends after 1 of 5 declared vertices\n",
       "cmp out.3db previous.3db"},
      {"an interrupted run keeps the previous output", "cp previous.3db out.3db",
       interrupted("{vorlatic} big.msh out.3db", "INT"), 130, "", "cmp out.3db previous.3db"},
      {"a terminated run likewise", "cp previous.3db out.3db",
       interrupted("{vorlatic} big.msh out.3db", "TERM"), 143, "", "cmp out.3db previous.3db"},
      {"a closed pipe ends the run quietly", "cp previous.3db out.3db",
       "{vorlatic} big.msh out.3db | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}", 141, "",
       "cmp out.3db previous.3db"},
      {"a full console fails the run", "cp previous.3db out.3db",
       "{vorlatic} big.msh out.3db >/dev/full", 2,
       "vorlatic: standard output: cannot write: No space left on device\n",
       "cmp out.3db previous.3db"},
      {"two runs at once leave one whole result", "",
       "for i in 1 2 3 4 5; do {vorlatic} in.msh out.3db >/dev/null & {vorlatic} big.msh out.3db "
       ">/dev/null & wait; cmp -s out.3db expected.3db || cmp -s out.3db big.3db || exit 9; done",
       0, "", "true"},
      {"a symbolic link stays a link to the new file",
       "mkdir real && cp previous.3db real/target.3db && ln -s real/target.3db out.3db",
       "{vorlatic} in.msh out.3db >/dev/null", 0, "",
       "test -L out.3db && cmp real/target.3db expected.3db && test -z \"$(ls real/*.tmp 2>&1 | "
       "grep -v 'No such')\""},
      {"a replaced file keeps its permission bits", "cp previous.3db out.3db && chmod 604 out.3db",
       "{vorlatic} in.msh out.3db >/dev/null", 0, "",
       "test $(stat -c %a out.3db) = 604 && cmp out.3db expected.3db"},
      {"a new file gets 0666 less the umask", "umask 027", "{vorlatic} in.msh out.3db >/dev/null",
       0, "", "test $(stat -c %a out.3db) = 640"},
      {"a device is written and kept", "mknod null c 1 3", "{vorlatic} in.msh null >/dev/null", 0,
       "", "test -c null"},
      {"a failing device is kept", "mknod full c 1 7", "{vorlatic} in.msh full >/dev/null", 2,
       "vorlatic: full: cannot write: No space left on device\n", "test -c full"},
  };
  for (const auto& c : cases) runCase(c);
}

TEST_F(Files, TheInspectorLosesNoFile) {
  const std::string same = "is the same file as the input expected.3db; not overwriting it\n";
  const FileCase cases[] = {
      {"--dump onto its input", "", "{inspect} expected.3db --dump expected.3db >/dev/null", 2,
       "vorlatic-inspect: expected.3db: " + same, "cmp expected.3db big.3db || true"},
      {"--dump onto another spelling of it", "", "{inspect} expected.3db --dump ./expected.3db", 2,
       "vorlatic-inspect: ./expected.3db: " + same, "test -s expected.3db"},
      {"--dump onto a link to it", "ln -s expected.3db link",
       "{inspect} expected.3db --dump link >/dev/null", 2, "vorlatic-inspect: link: " + same,
       "test -L link"},
      {"--svg onto a hard link to it", "ln expected.3db hard",
       "{inspect} expected.3db --svg hard >/dev/null", 2, "vorlatic-inspect: hard: " + same,
       "cmp hard expected.3db"},
      {"an invalid file keeps the previous outputs",
       "cp previous.3db out.msh && cp previous.3db out.svg && head -c 40 expected.3db >cut.3db",
       "{inspect} cut.3db --dump out.msh --svg out.svg >/dev/null", 2,
       "vorlatic-inspect: cut.3db: truncated: the file ends after 1 of 3 vertex records\n",
       "cmp out.msh previous.3db && cmp out.svg previous.3db"},
      {"an interrupted run keeps the previous output",
       // Its input a pipe that brings part of a file, then nothing more until the end.
       "cp previous.3db out.msh && mkfifo fifo.3db",
       "{inspect} fifo.3db --dump out.msh >/dev/null & pid=$!; exec 4>fifo.3db; head -c 100000 "
       "big.3db >&4; for i in $(seq 400); do ls *.tmp >/dev/null 2>&1 && break; sleep 0.05; done; "
       "kill -s INT $pid; wait $pid",
       130, "", "cmp out.msh previous.3db"},
      {"a full console fails the run", "cp previous.3db out.msh",
       "{inspect} expected.3db --dump out.msh >/dev/full", 2,
       "vorlatic-inspect: standard output: cannot write: No space left on device\n",
       "cmp out.msh previous.3db"},
      {"a failing device is kept", "mknod full c 1 7",
       "{inspect} expected.3db --dump full >/dev/null", 2,
       "vorlatic-inspect: full: cannot write: No space left on device\n", "test -c full"},
      {"a symbolic link stays a link", "mkdir real && ln -s real/dump.msh out.msh",
       "{inspect} expected.3db --dump out.msh >/dev/null && {inspect} expected.3db --dump out.msh "
       ">/dev/null",
       0, "", "test -L out.msh && test -s real/dump.msh"},
  };
  for (const auto& c : cases) runCase(c);
}

#ifdef VORLATIC_IMPORT_EXE
TEST_F(Files, TheImporterLosesNoFile) {
  const std::string model = "printf 'v 0 0 0\\nv 1 0 0\\nv 0 1 0\\nf 1 2 3\\n' >tri.obj";
  // A grid of 600 x 600 quads: long enough to read that an interrupt finds it reading.
  const std::string grid =
      "awk 'BEGIN { for (y = 0; y <= 600; y++) for (x = 0; x <= 600; x++) print \"v\", x, y, 0;"
      " for (y = 0; y < 600; y++) for (x = 1; x <= 600; x++) { a = y * 601 + x;"
      " print \"f\", a, a + 1, a + 602, a + 601 } }' >grid.obj";
  const FileCase cases[] = {
      {"a failed import keeps the previous output",
       "cp previous.3db out.3db && printf 'v 0 0 0\\nf 1 2 3\\n' >bad.obj",
       "{import} bad.obj out.3db", 2, "vorlatic-import: bad.obj: OBJ: vertex index out of range\n",
       "cmp out.3db previous.3db"},
      {"an interrupted import keeps the previous output", "cp previous.3db out.3db && " + grid,
       interrupted("{import} grid.obj out.3db --max-vertices 1000", "INT"), 130, "",
       // ... and its reader is gone with it.
       "cmp out.3db previous.3db && for i in $(seq 40); do pgrep -f 'vorlatic-impor[t] grid' || "
       "exit 0; sleep 0.05; done; exit 1"},
      {"the model is never the output", model + " && ln tri.obj tri.msh",
       "{import} tri.obj tri.msh", 2,
       "vorlatic-import: tri.msh: is the same file as the input tri.obj; not overwriting it\n",
       "cmp tri.obj tri.msh"},
      {"a symbolic link stays a link", model + " && mkdir real && ln -s real/tri.3db out.3db",
       "{import} tri.obj out.3db --quiet", 0, "",
       "test -L out.3db && cmp real/tri.3db expected.3db"},
  };
  for (const auto& c : cases) runCase(c);
}
#endif

// Under an address-space limit, each run either converts or says it ran out of memory: never an
// abort, never an output left behind. The limits scanned start where the program can just start,
// where some allocation must fail (a second thread, or the blocks of the conversion).
TEST_F(Files, RunningOutOfMemoryIsADiagnostic) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
#else
  if (std::string(VORLATIC_RUNNER) != "")
    GTEST_SKIP() << "an emulator has an address space of its own";
  ScratchDir dir;
  fs::copy(fixtures.path(), dir.path(), fs::copy_options::recursive);
  int lowest = 1024;
  while (lowest < 262144 && shell(dir.path(), "ulimit -v " + std::to_string(lowest),
                                  "{vorlatic} >/dev/null 2>&1") != 1)
    lowest += 1024;
  bool sawOutOfMemory = false;
  for (int limit = lowest; limit < lowest + 32768; limit += 1024) {
    int status = shell(dir.path(), "ulimit -v " + std::to_string(limit),
                       "{vorlatic} big.msh out.3db >/dev/null 2>stderr.txt");
    std::string err = readFile(dir / "stderr.txt");
    ASSERT_TRUE(status == 0 || status == 2) << limit << " KiB: status " << status << ": " << err;
    if (status == 2) {
      ASSERT_EQ(err, "vorlatic: big.msh: out of memory\n") << limit << " KiB";
      ASSERT_FALSE(fs::exists(dir / "out.3db")) << limit << " KiB";
      sawOutOfMemory = true;
    } else {
      ASSERT_EQ(shell(dir.path(), "", "cmp out.3db big.3db && rm out.3db"), 0) << limit << " KiB";
    }
  }
  EXPECT_TRUE(sawOutOfMemory) << "no limit made an allocation fail";
  EXPECT_EQ(testing_support::temporaryFiles(dir.path()), "");
#endif
}

}  // namespace
#endif
