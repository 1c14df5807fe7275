// What the programs do to the files around them, run as a user runs them (POSIX shells): the
// previous output survives every failed, interrupted or concurrent run, links and permission bits
// are kept, devices are written and never removed, no output is ever the input, a full or closed
// console fails the run, and running out of memory is a diagnostic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "support.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::ScratchDir;

namespace {

// The account that the unprivileged rows run as (.ci/run makes it).
constexpr const char* testUser = "vorlatic-test";

// One run in a scratch folder: `setup` (bash lines, as root) first, then `command` with its
// standard error captured, in which {vorlatic}, {inspect} and {import} stand for the programs;
// then `check` must succeed, and no temporary file may be left anywhere below the folder. The
// folder holds in.msh (a small mesh), expected.3db (its conversion), previous.3db (an older
// file), trunc.msh (a mesh that always fails), warn.msh (one that converts with a warning),
// tri.obj (a model that imports to expected.3db), big.msh and big.3db (large enough to be
// interrupted mid-run) before the setup.
struct FileCase {
  const char* name;
  std::string setup;
  std::string command;
  int status;
  std::string diagnostic;  // standard error, exactly
  std::string check;
};

// Runs `program` in the background, its console a pipe that nobody reads (so it stops once the
// pipe is full), waits until `ready` (its temporary file appears), then sends it `signal`; the
// status is the program's. With `drain`, the console is read to its end after the signal, for a
// program that goes on.
std::string interrupted(const std::string& program, const std::string& signal, bool drain = false,
                        const std::string& ready = "ls .vorlatic-*") {
  // With SIGINT and SIGQUIT as in a terminal: bash starts background jobs with them ignored.
  return "mkfifo console; exec 3<>console; env --default-signal=INT,QUIT " + program +
         " >console & pid=$!; " + "for i in $(seq 400); " + "do " + ready +
         " >/dev/null 2>&1 && break; sleep 0.05; done; kill -s " + signal + " $pid; " +
         (drain ? "cat console >/dev/null & exec 3<&-; " : "") +
         "{ wait $pid; } 2>/dev/null";  // without the shell's word on how it ended
}

// A folder below the scratch one whose own path is longer than the system's path limit (4096):
// only a relative path reaches into it. `then` runs inside it, with $root the scratch folder.
std::string deepFolder(const std::string& then) {
  return "root=$PWD; name=$(printf 'd%.0s' {1..200}); for i in $(seq 22); do mkdir $name && cd "
         "$name || exit 98; done; " +
         then;
}

enum class As { root, user };

class Files : public ::testing::Test {
 protected:
  // Every test checks that the shared files were made: a failure there is the test's own.
  void SetUp() override { ASSERT_TRUE(fixturesMade) << "could not make the shared files"; }

  static void SetUpTestSuite() {
    std::string big = "100000 200000\n";
    for (int i = 0; i < 100000; ++i) big += std::to_string(i) + ".5 -" + std::to_string(i) + " 7\n";
    for (int i = 0; i < 200000; ++i) big += "0 1 " + std::to_string(i % 60000) + "\n";
    const fs::path at = fixtures.path();
    testing_support::writeFile(at / "big.msh", big);
    testing_support::writeFile(at / "in.msh", "3 1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n");
    testing_support::writeFile(at / "trunc.msh", "3 1\n1 2 3\n");
    testing_support::writeFile(at / "warn.msh", "3 2\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n");
    testing_support::writeFile(at / "tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    fixturesMade = shell(at, "",
                         "{vorlatic} big.msh big.3db >/dev/null && "
                         "{vorlatic} in.msh expected.3db >/dev/null && "
                         "{vorlatic} in.msh scratch.3db >console.txt && rm scratch.3db && "
                         "printf 'an older file' >previous.3db && chmod -R a+rX .") == 0;
  }

  // The programs, copied where any user may run them: the build folder may be one that only
  // root can enter.
  static std::string withPrograms(std::string command) {
    static const std::string copies = [] {
      const fs::path bin = programs.path();
      for (const char* exe : {VORLATIC_EXE, VORLATIC_INSPECT_EXE,
#ifdef VORLATIC_IMPORT_EXE
                              VORLATIC_IMPORT_EXE
#endif
           }) {
        fs::copy_file(exe, bin / fs::path(exe).filename(), fs::copy_options::overwrite_existing);
      }
      fs::permissions(bin, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
      return bin.string() + "/";
    }();
    for (auto [name, exe] : {std::pair<std::string, std::string>{"{vorlatic}", VORLATIC_EXE},
                             {"{inspect}", VORLATIC_INSPECT_EXE},
#ifdef VORLATIC_IMPORT_EXE
                             { "{import}",
                               VORLATIC_IMPORT_EXE }
#endif
         })
      for (std::size_t at; (at = command.find(name)) != std::string::npos;)
        // In a cross build, through the emulator.
        command.replace(at, name.size(),
                        VORLATIC_RUNNER " '" + copies + fs::path(exe).filename().string() + "'");
    return command;
  }

  // Runs `setup`, then `command`, through bash in `dir`, the command as `as`; returns the status
  // of the command.
  static int shell(const fs::path& dir, const std::string& setup, const std::string& command,
                   As as = As::root) {
    testing_support::writeFile(dir / "command.sh", withPrograms(command));
    std::string runner = as == As::root
                             ? "bash command.sh"
                             : std::string("setpriv --reuid=") + testUser + " --regid=" + testUser +
                                   " --clear-groups bash command.sh";
    std::string script = "cd '" + dir.string() + "' || exit 99\n" + withPrograms(setup) + "\n" +
                         runner + "; status=$?; rm -f command.sh; exit $status";
    std::string quoted;
    for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    int raw = std::system(("bash -c '" + quoted + "'").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // Why the unprivileged rows cannot run here, or an empty string.
  static std::string noTestUser() {
    if (geteuid() != 0) return "the unprivileged rows need root to drop privileges";
    if (std::system((std::string("id ") + testUser + " >/dev/null 2>&1").c_str()) != 0)
      return std::string("no user ") + testUser + " (.ci/run makes it)";
    return "";
  }

  void runCases(const FileCase* cases, std::size_t count, As as = As::root) {
    for (std::size_t i = 0; i < count; ++i) {
      const FileCase& c = cases[i];
      ScratchDir dir;
      fs::copy(fixtures.path(), dir.path(), fs::copy_options::recursive);
      fs::permissions(dir.path(), fs::perms::all);
      int status = shell(dir.path(), c.setup, "{ " + c.command + "\n} 2>stderr.txt", as);
      EXPECT_EQ(status, c.status) << c.name;
      EXPECT_EQ(readFile(dir / "stderr.txt"), c.diagnostic) << c.name;
      EXPECT_EQ(shell(dir.path(), "", c.check), 0) << c.name << ": " << c.check;
      EXPECT_EQ(shell(dir.path(), "",
                      "find . \\( -name '.vorlatic-*' -o -name '*.tmp' \\) -print | grep . && "
                      "exit 1; rm -rf d*; true"),
                0)
          << c.name << ": a temporary file was left";
    }
  }

  template <std::size_t N>
  void runCases(const FileCase (&cases)[N], As as = As::root) {
    runCases(cases, N, as);
  }

  static ScratchDir programs;
  static ScratchDir fixtures;
  static bool fixturesMade;
};
ScratchDir Files::programs;
ScratchDir Files::fixtures;
bool Files::fixturesMade = false;

TEST_F(Files, TheConverterLosesNoFile) {
  const std::string truncated =
      "vorlatic: trunc.msh: the input ends after 1 of 3 declared vertices\n";
  // The longest name a folder takes: 255 bytes.
  const std::string name255 = "N=$(printf 'a%.0s' {1..251}).3db; ";
  // A relative path of 4,000 bytes, whose absolute path is past the system's limit.
  const std::string longPath =
      "P=$(printf 'd%.0s' {1..199}); D=$P; for i in $(seq 19); do "
      "D=$D/$P; done; mkdir -p $D; ";
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
       "test -L out.3db && cmp real/target.3db expected.3db"},
      {"a replaced file keeps its permission bits", "cp previous.3db out.3db && chmod 604 out.3db",
       "{vorlatic} in.msh out.3db >/dev/null", 0, "",
       "test $(stat -c %a out.3db) = 604 && cmp out.3db expected.3db"},
      {"a new file gets 0666 less the umask", "umask 027", "{vorlatic} in.msh out.3db >/dev/null",
       0, "", "test $(stat -c %a out.3db) = 640"},
      {"a device is written and kept", "mknod null c 1 3", "{vorlatic} in.msh null >/dev/null", 0,
       "", "test -c null"},
      {"a failing device is kept", "mknod full c 1 7", "{vorlatic} in.msh full >/dev/null", 2,
       "vorlatic: full: cannot write: No space left on device\n", "test -c full"},
      {"a write error stops the reading and the echo", "mknod full c 1 7",
       "{vorlatic} big.msh full >echo.txt", 2,
       "vorlatic: full: cannot write: No space left on device\n",
       "test $(stat -c %s echo.txt) -lt $(($(stat -c %s big.msh) / 4))"},
      {"a name of 255 bytes: a failed run keeps the file", name255 + "cp previous.3db $N",
       name255 + "{vorlatic} trunc.msh $N >/dev/null", 2, truncated, "cmp a*.3db previous.3db"},
      {"a name of 255 bytes: a good run replaces it", name255 + "cp previous.3db $N",
       name255 + "{vorlatic} in.msh $N >/dev/null", 0, "", "cmp a*.3db expected.3db"},
      {"a name of 255 bytes: runs at once leave one whole result", "",
       name255 + "for i in $(seq 10); do {vorlatic} in.msh $N >/dev/null & {vorlatic} big.msh $N "
                 ">/dev/null & done; wait; cmp -s $N expected.3db || cmp -s $N big.3db",
       0, "", "true"},
      {"a path of 4,000 bytes: a failed run keeps the file", longPath + "cp previous.3db $D/o",
       longPath + "{vorlatic} trunc.msh $D/o >/dev/null", 2, truncated,
       longPath + "cmp $D/o previous.3db"},
      {"a path of 4,000 bytes: a good run replaces it", longPath + "cp previous.3db $D/o",
       longPath + "{vorlatic} in.msh $D/o >/dev/null", 0, "", longPath + "cmp $D/o expected.3db"},
      {"a folder deeper than the path limit: a link stays a link", "",
       deepFolder("cp $root/previous.3db target.3db && ln -s target.3db out.3db && {vorlatic} "
                  "$root/in.msh out.3db >/dev/null && test -L out.3db && cmp target.3db "
                  "$root/expected.3db"),
       0, "", "true"},
      {"a folder deeper than the path limit: a failed run keeps the file", "",
       deepFolder("cp $root/previous.3db out.3db; {vorlatic} $root/trunc.msh out.3db >/dev/null "
                  "2>&1; s=$?; cmp out.3db $root/previous.3db && exit $s"),
       2, "", "true"},
      {"/dev/stdout into a log is appended to, not replaced", "seq 1000 >log",
       "{vorlatic} in.msh /dev/stdout >>log", 0, "",
       "cmp <(seq 1000) <(head -n 1000 log) && test $(stat -c %s log) = $(($(seq 1000 | wc -c) + "
       "$(stat -c %s expected.3db) + $(stat -c %s console.txt)))"},
      {"the echo is never fed back into the input", "cp in.msh g.msh",
       "{vorlatic} g.msh g.3db >>g.msh", 2,
       "vorlatic: standard output: is the same file as the input g.msh; not writing into it\n",
       "cmp g.msh in.msh && ! test -e g.3db"},
      {"nor into the input through standard error: the word goes to standard output",
       "cp warn.msh w.msh", "{vorlatic} w.msh o.3db 2>>w.msh >out.txt", 2, "",
       "cmp w.msh warn.msh && ! test -e o.3db && grep -qx 'vorlatic: standard error: is the same "
       "file as the input w.msh; not writing into it' out.txt"},
      {"a warning that cannot be written fails the run", "cp previous.3db w.3db",
       "{vorlatic} warn.msh w.3db >/dev/null 2>/dev/full", 2, "", "cmp w.3db previous.3db"},
      {"a link into a folder that is not there is refused as the shell refuses it",
       "ln -s nodir/x.3db out.3db", "{vorlatic} in.msh out.3db >/dev/null", 2,
       "vorlatic: out.3db: cannot create: No such file or directory\n", "test -L out.3db"},
      {"what a link to no file leads to is made, and goes again when the run is ended",
       "ln -s " + std::string(100, 'a') + ".3db out.3db",
       interrupted("{vorlatic} big.msh out.3db", "TERM"), 143, "",
       "test -L out.3db && ! test -e " + std::string(100, 'a') + ".3db"},
      {"a link loop is refused as the shell refuses it", "ln -s lb la && ln -s la lb",
       "{vorlatic} in.msh la >/dev/null", 2,
       "vorlatic: la: cannot create: Too many levels of symbolic links\n",
       "test -L la && test -L lb"},
      {"a closed console is not replaced by the output", "", "{vorlatic} in.msh o.3db >&-", 0, "",
       "cmp o.3db expected.3db"},
      {"a warning on a closed pipe: the status says the file was kept",
       "cp previous.3db w.3db && mkfifo p",
       "exec 7<>p 8>p 7<&-; {vorlatic} warn.msh w.3db >/dev/null 2>&8", 141, "",
       "cmp w.3db previous.3db"},
      {"SIGTERM at any moment: 143 keeps the file, 0 replaced it", "",
       "for i in $(seq 30); do cp previous.3db out.3db; {vorlatic} big.msh out.3db >/dev/null & "
       "pid=$!; sleep 0.0$((RANDOM % 5)); kill -TERM $pid 2>/dev/null; wait $pid; s=$?; "
       "if [ $s = 0 ]; then cmp -s out.3db big.3db || exit 7; elif [ $s = 143 ]; then "
       "cmp -s out.3db previous.3db || exit 8; else exit 9; fi; done",
       0, "", "true"},
      {"an ignored hangup stays ignored, as under nohup", "cp previous.3db out.3db",
       "trap '' HUP; " + interrupted("{vorlatic} big.msh out.3db", "HUP", true), 0, "",
       "cmp out.3db big.3db"},
      {"SIGUSR1 leaves the file and no temporary", "cp previous.3db out.3db",
       interrupted("{vorlatic} big.msh out.3db", "USR1"), 138, "", "cmp out.3db previous.3db"},
      {"SIGALRM likewise", "cp previous.3db out.3db",
       interrupted("{vorlatic} big.msh out.3db", "ALRM"), 142, "", "cmp out.3db previous.3db"},
      {"the file-size limit is a diagnostic", "cp previous.3db out.3db",
       "ulimit -f 100; {vorlatic} big.msh out.3db >/dev/null", 2,
       "vorlatic: out.3db: cannot write: File too large\n", "cmp out.3db previous.3db"},
      {"a newline in a name stays inside its diagnostic", "",
       "{vorlatic} $'a\\nb.msh' out.3db >/dev/null", 2,
       "vorlatic: a\\nb.msh: cannot open: No such file or directory\n", "! test -e out.3db"},
      {"an empty output path says so", "", "{vorlatic} in.msh '' >/dev/null", 2,
       "vorlatic: '': cannot create: the path is empty\n", "true"},
  };
  runCases(cases);
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
#ifdef VORLATIC_PNG
      {"--png onto its input, and a picture kept when the file is invalid",
       "cp expected.3db same.3db && cp previous.3db out.png && head -c 40 expected.3db >cut.3db",
       "{inspect} same.3db --png same.3db >/dev/null; s=$?; {inspect} cut.3db --png out.png "
       ">/dev/null 2>&1 && exit 9; exit $s",
       2,
       "vorlatic-inspect: same.3db: is the same file as the input same.3db; not overwriting it\n",
       "cmp same.3db expected.3db && cmp out.png previous.3db"},
#endif
      {"an invalid file keeps the previous outputs",
       "cp previous.3db out.msh && cp previous.3db out.svg && head -c 40 expected.3db >cut.3db",
       "{inspect} cut.3db --dump out.msh --svg out.svg >/dev/null", 2,
       "vorlatic-inspect: cut.3db: truncated: the file ends after 1 of 3 vertex records\n",
       "cmp out.msh previous.3db && cmp out.svg previous.3db"},
      {"an interrupted run keeps the previous output",
       // Its input a pipe that brings part of a file, then nothing more until the end.
       "cp previous.3db out.msh && mkfifo fifo.3db",
       "env --default-signal=INT {inspect} fifo.3db --dump out.msh >/dev/null & pid=$!; "
       "exec 4>fifo.3db; head -c 100000 "
       "big.3db >&4; for i in $(seq 400); do ls .vorlatic-* >/dev/null 2>&1 && break; sleep 0.05; "
       "done; "
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
      {"a closed console is not replaced by the dump", "",
       "{inspect} expected.3db --dump d.msh >&-", 0, "",
       "{vorlatic} d.msh back.3db >/dev/null && cmp back.3db expected.3db"},
      {"one path for both outputs is refused", "cp previous.3db x",
       "{inspect} expected.3db --dump x --svg ./x >/dev/null", 1,
       "vorlatic-inspect: ./x: given to both --dump and --svg\n", "cmp x previous.3db"},
      {"a repeated option is refused", "", "{inspect} expected.3db --dump a --dump b >/dev/null", 1,
       "vorlatic-inspect: --dump: given twice\n", "! test -e a && ! test -e b"},
      {"an empty path is refused", "", "{inspect} expected.3db --dump '' >/dev/null", 1,
       "vorlatic-inspect: --dump: the path is empty\n", "true"},
      {"a usage that cannot be written is a failure", "", "{inspect} >/dev/full", 2,
       "vorlatic-inspect: standard output: cannot write: No space left on device\n", "true"},
      {"the summary is never written into the input", "cp expected.3db x.3db",
       "{inspect} x.3db >>x.3db", 2,
       "vorlatic-inspect: standard output: is the same file as the input x.3db; not writing into "
       "it\n",
       "cmp x.3db expected.3db"},
      {"a coordinate mesh text cannot spell is a warning",
       "printf "
       "'3DB\\x01\\0\\0\\0\\0\\0\\0\\0\\x01\\0\\0\\0\\0\\xff\\0\\xff\\x01\\0\\x80\\x7f\\0\\0\\0\\0"
       "\\0\\0\\0\\0' "
       ">snan.3db",
       "{inspect} snan.3db --dump s.msh >/dev/null", 0,
       "vorlatic-inspect: s.msh: warning: 1 coordinate is a signalling NaN, which mesh text reads "
       "back as quiet\n",
       "test -s s.msh"},
  };
  runCases(cases);
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
      {"a failed split leaves none of the new parts and keeps the old files",
       "printf 'v 0 0 0\\nv 1 0 0\\nv 0 1 0\\nv 5 0 0\\nv 6 0 0\\nv 5 1 0\\nf 1 2 3\\nf 4 5 "
       "6\\n' >two.obj && cp previous.3db two-1.3db && mkdir two-2.3db",
       "{import} two.obj two.3db --split --max-vertices 3", 2,
       "vorlatic-import: two-2.3db: cannot create: Is a directory\n",
       "cmp two-1.3db previous.3db && test -d two-2.3db && ! test -e two.3db"},
      {"a file the model reads is never the output",
       "printf 'newmtl a\\nKd 1 0 0\\n' >m.3db && cp m.3db keep && printf 'mtllib m.3db\\nusemtl "
       "a\\nv 0 0 0\\nv 1 0 0\\nv 0 1 0\\nf 1 2 3\\n' >m.obj",
       "{import} m.obj m.3db", 2,
       "vorlatic-import: m.3db: is the same file as m.3db, which the model reads; not overwriting "
       "it\n",
       "cmp m.3db keep"},
      {"a closed console is not replaced by the output", "", "{import} tri.obj b.3db >&-", 0, "",
       "cmp b.3db expected.3db"},
      {"a model on standard input is named by its format", model,
       "{import} /dev/stdin out.3db <tri.obj | grep -q '^read: /dev/stdin (Wavefront Object "
       "Importer), 1 mesh$'",
       0, "", "cmp out.3db expected.3db"},
      {"a usage that cannot be written is a failure", "", "{import} >/dev/full", 2,
       "vorlatic-import: standard output: cannot write: No space left on device\n", "true"},
      {"the summary is never written into the model", "cp tri.obj t.obj",
       "{import} t.obj t.3db >>t.obj", 2,
       "vorlatic-import: standard output: is the same file as the input t.obj; not writing into "
       "it\n",
       "cmp t.obj tri.obj && ! test -e t.3db"},
  };
  runCases(cases);
}
#endif

// As a user without privileges: folders and files of others, as a shared machine has them.
TEST_F(Files, AnUnprivilegedUserLosesNoFile) {
  if (std::string why = noTestUser(); !why.empty()) GTEST_SKIP() << why;
  const std::string truncated =
      "vorlatic: trunc.msh: the input ends after 1 of 3 declared vertices\n";
  // A folder the user may not write, holding a file the user may.
  const std::string readOnly = std::string("mkdir ro && cp previous.3db ro/out.3db && ") +
                               "cp previous.3db ro/out.msh && chown " + testUser +
                               " ro/out.3db ro/out.msh && chmod 555 ro";
  const FileCase cases[] = {
      {"a read-only folder: a failed run keeps the file", readOnly,
       "{vorlatic} trunc.msh ro/out.3db >/dev/null", 2, truncated, "cmp ro/out.3db previous.3db"},
      {"a read-only folder: a good run writes the file in place", readOnly,
       "{vorlatic} in.msh ro/out.3db >/dev/null", 0, "",
       std::string("cmp ro/out.3db expected.3db && test $(stat -c %U ro/out.3db) = ") + testUser},
      {"a read-only folder and no temporary folder: refused before the file is touched", readOnly,
       "TMPDIR=/nonexistent {vorlatic} in.msh ro/out.3db >/dev/null", 2,
       "vorlatic: ro/out.3db: cannot create: Permission denied\n", "cmp ro/out.3db previous.3db"},
      {"a read-only folder: an interrupted run keeps the file", readOnly,
       interrupted("{vorlatic} big.msh ro/out.3db", "INT", false, "sleep 0.3; true"), 130, "",
       "cmp ro/out.3db previous.3db"},
      {"a read-only folder: the inspector's failure keeps the file",
       readOnly + " && head -c 40 expected.3db >cut.3db", "{inspect} cut.3db --dump ro/out.msh", 2,
       "vorlatic-inspect: cut.3db: truncated: the file ends after 1 of 3 vertex records\n",
       "cmp ro/out.msh previous.3db"},
#ifdef VORLATIC_IMPORT_EXE
      {"a read-only folder: the importer's failure keeps the file",
       readOnly + " && printf 'v 0 0 0\\nf 1 2 3\\n' >bad.obj", "{import} bad.obj ro/out.msh", 2,
       "vorlatic-import: bad.obj: OBJ: vertex index out of range\n", "cmp ro/out.msh previous.3db"},
      {"a model the user may not read: the system's reason",
       "cp tri.obj secret.obj && chmod 600 secret.obj", "{import} secret.obj out.3db", 2,
       "vorlatic-import: secret.obj: cannot open: Permission denied\n", "! test -e out.3db"},
#endif
      {"a read-only folder: a new file is refused before anything is made",
       "mkdir ro && chmod 555 ro", "{vorlatic} in.msh ro/out.3db >/dev/null", 2,
       "vorlatic: ro/out.3db: cannot create: Permission denied\n", "! test -e ro/out.3db"},
      {"a sticky folder: root's file of mode 0666 is written as the shell writes it",
       "mkdir sticky && chmod 1777 sticky && cp previous.3db sticky/out.3db && chmod 666 "
       "sticky/out.3db",
       "{vorlatic} in.msh sticky/out.3db >/dev/null", 0, "",
       "cmp sticky/out.3db expected.3db && test $(stat -c %U:%a sticky/out.3db) = root:666"},
      {"the user's own set-ID file keeps its bits",
       std::string("mkdir su && chown ") + testUser + " su && cp previous.3db su/x.3db && chown " +
           testUser + ": su/x.3db && chmod 6755 su/x.3db",
       "{vorlatic} in.msh su/x.3db >/dev/null", 0, "",
       "cmp su/x.3db expected.3db && test $(stat -c %a su/x.3db) = 6755"},
      {"another user's file in a shared folder stays theirs",
       "mkdir w && chmod 777 w && cp previous.3db w/out.3db && chmod 666 w/out.3db",
       "{vorlatic} in.msh w/out.3db >/dev/null", 0, "",
       "cmp w/out.3db expected.3db && test $(stat -c %U w/out.3db) = root"},
  };
  runCases(cases, As::user);
}

// As root, on the files of others: what the system protects stays protected.
TEST_F(Files, RootKeepsWhatTheSystemProtects) {
  if (std::string why = noTestUser(); !why.empty()) GTEST_SKIP() << why;
  const std::string asUser =
      std::string("setpriv --reuid=") + testUser + " --regid=" + testUser + " --clear-groups ";
  std::vector<FileCase> cases = {
      {"another user's file keeps its owner, group and set-ID bits",
       std::string("cp previous.3db out.3db && chown ") + testUser +
           ": out.3db && chmod 6750 out.3db",
       "{vorlatic} in.msh out.3db >/dev/null", 0, "",
       std::string("test $(stat -c %U:%G:%a out.3db) = ") + testUser + ":" + testUser +
           ":6750 && cmp out.3db expected.3db"},
  };
  std::ifstream protectedLinks("/proc/sys/fs/protected_symlinks");
  int protectsLinks = 0;
  if (!(protectedLinks >> protectsLinks) || protectsLinks != 1) {
    std::cout << "[ SKIPPED  ] the link-protection rows: fs.protected_symlinks is not 1 here\n";
  } else {
    const std::string sticky = "mkdir sticky && chmod 1777 sticky && printf secret >victim && ";
    cases.push_back({"another user's link in a sticky folder is not followed",
                     sticky + asUser + "ln -s $PWD/victim sticky/out.3db",
                     "{vorlatic} in.msh sticky/out.3db >/dev/null", 2,
                     "vorlatic: sticky/out.3db: cannot create: Permission denied\n",
                     "test $(cat victim) = secret && test -L sticky/out.3db"});
    cases.push_back({"such a link to a folder is followed, as the shell follows it",
                     "mkdir st real && chmod 1777 st && " + asUser + "ln -s $PWD/real st/link",
                     "{vorlatic} in.msh st/link/x.3db >/dev/null", 0, "",
                     "cmp real/x.3db expected.3db"});
    cases.push_back({"nor is such a link to no file", sticky + asUser + "ln -s $PWD/made sticky/o",
                     "{inspect} expected.3db --dump sticky/o >/dev/null", 2,
                     "vorlatic-inspect: sticky/o: cannot create: Permission denied\n",
                     "! test -e made"});
  }
  runCases(cases.data(), cases.size());
}

// On a small file system of its own: no inode or no block left.
TEST_F(Files, AFullFileSystemLosesNoFile) {
  if (geteuid() != 0 || std::system("d=$(mktemp -d) && mount -t tmpfs tmpfs $d 2>/dev/null && "
                                    "umount $d; s=$?; rmdir $d; exit $s") != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  const std::string noInode =
      "mkdir mnt && mount -t tmpfs -o size=1M,nr_inodes=4 tmpfs mnt && cp previous.3db mnt/out.3db "
      "&& for i in 1 2 3 4; do touch mnt/f$i 2>/dev/null; done; ! touch mnt/g 2>/dev/null";
  const std::string noBlock =
      "mkdir mnt && mount -t tmpfs -o size=64k tmpfs mnt && cp previous.3db mnt/out.3db";
  const std::string unmount = "; s=$?; umount mnt; exit $s";
  const FileCase cases[] = {
      {"no inode: a failed run keeps the file", noInode,
       "{vorlatic} trunc.msh mnt/out.3db >/dev/null", 2,
       "vorlatic: trunc.msh: the input ends after 1 of 3 declared vertices\n",
       "cmp mnt/out.3db previous.3db" + unmount},
      {"no inode: a good run replaces the bytes", noInode,
       "{vorlatic} in.msh mnt/out.3db >/dev/null", 0, "", "cmp mnt/out.3db expected.3db" + unmount},
      {"no inode and too little room: the copy is refused before a byte changes", noInode,
       "{vorlatic} big.msh mnt/out.3db >/dev/null", 2,
       "vorlatic: mnt/out.3db: cannot write: No space left on device\n",
       "cmp mnt/out.3db previous.3db" + unmount},
      {"no block: the result does not fit, the file stays", noBlock,
       "{vorlatic} big.msh mnt/out.3db >/dev/null", 2,
       "vorlatic: mnt/out.3db: cannot write: No space left on device\n",
       "cmp mnt/out.3db previous.3db" + unmount},
  };
  runCases(cases);
}

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
