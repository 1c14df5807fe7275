#include "files_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::ScratchDir;

namespace files_support {

std::string interrupted(const std::string& program, const std::string& signal, bool drain,
                        const std::string& ready) {
  // With SIGINT and SIGQUIT as in a terminal: bash starts background jobs with them ignored.
  return "mkfifo console; exec 3<>console; env --default-signal=INT,QUIT " + program +
         " >console & pid=$!; " + "for i in $(seq 400); " + "do " + ready +
         " >/dev/null 2>&1 && break; sleep 0.05; done; kill -s " + signal + " $pid; " +
         (drain ? "cat console >/dev/null & exec 3<&-; " : "") +
         "{ wait $pid; } 2>/dev/null";  // without the shell's word on how it ended
}

std::string deepFolder(const std::string& then) {
  return "root=$PWD; name=$(printf 'd%.0s' {1..200}); for i in $(seq 22); do mkdir $name && cd "
         "$name || exit 98; done; " +
         then;
}

void Files::SetUpTestSuite() {
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

std::string Files::withPrograms(std::string command) {
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
                           {"{import}", VORLATIC_IMPORT_EXE}
#endif
       })
    for (std::size_t at; (at = command.find(name)) != std::string::npos;)
      // In a cross build, through the emulator.
      command.replace(at, name.size(),
                      VORLATIC_RUNNER " '" + copies + fs::path(exe).filename().string() + "'");
  return command;
}

int Files::shell(const fs::path& dir, const std::string& setup, const std::string& command, As as) {
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

std::string Files::noTestUser() {
  if (geteuid() != 0) return "the unprivileged rows need root to drop privileges";
  if (std::system((std::string("id ") + testUser + " >/dev/null 2>&1").c_str()) != 0)
    return std::string("no user ") + testUser + " (.ci/run makes it)";
  return "";
}

void Files::runCases(const FileCase* cases, std::size_t count, As as) {
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

ScratchDir Files::programs;
ScratchDir Files::fixtures;
bool Files::fixturesMade = false;

}  // namespace files_support
#endif
