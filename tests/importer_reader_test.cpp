// vorlatic-import refusing word for word what it cannot do, and its reader run apart: the list
// of meshes it sends back, its failures as diagnostics; the progress line.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "import.h"
#include "isolate.h"
#include "model.h"
#include "options.h"
#include "progress.h"
#include "reader_protocol.h"

#include "importer_support.h"

namespace fs = std::filesystem;
using importer_support::Import;
using testing_support::RunResult;
using testing_support::writeFile;

namespace {

// The list crosses from the reader as bytes: anything but whole entries is refused.
TEST(MeshList, ComesBackWholeOrNotAtAll) {
  const std::vector<importer::MeshEntry> list = {{"Leaf", "Tree/Leaf.003", 2, 4, true},
                                                 {"", "", 0, 0, false}};
  const std::string bytes = importer::encodeMeshList(list);
  std::vector<importer::MeshEntry> back;
  ASSERT_TRUE(importer::decodeMeshList(bytes, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].name + back[0].node, "LeafTree/Leaf.003");
  EXPECT_EQ(back[0].triangles * 10 + back[0].vertices, 24u);
  EXPECT_TRUE(back[0].colours && !back[1].colours);
  const std::size_t firstEntry = importer::encodeMeshList({list[0]}).size();
  for (std::size_t cut = 1; cut < bytes.size(); ++cut)
    EXPECT_EQ(importer::decodeMeshList(bytes.substr(0, cut), back), cut == firstEntry) << cut;
  std::string badFlag = bytes;
  badFlag[16] = 2;
  EXPECT_FALSE(importer::decodeMeshList(badFlag, back));
}

TEST(Progress, OneLineRewrittenInPlaceOnlyWhereEnabled) {
  const struct {
    const char* step;
    int percent;
    const char* line;
  } cases[] = {{"reading", 0, "\rvorlatic-import: reading 0%             "},
               {"simplifying", 55, "\rvorlatic-import: simplifying 55%        "},
               {"writing", 100, "\rvorlatic-import: writing 100%           "}};
  for (const auto& c : cases) EXPECT_EQ(importer::progressLine(c.step, c.percent), c.line);
  std::ostringstream errors;
  {
    importer::Progress progress(errors);  // not a terminal: never enabled
    progress.at("reading", 0);
  }
  EXPECT_EQ(errors.str(), "");
}

struct Refusal {
  std::vector<std::string> args;
  int status;
  std::string diagnostic;  // after "vorlatic-import: "
};

// The command lines refused in a folder holding m.obj, a triangle, points.obj, points and a
// line, and flat.obj, triangles with no area.
std::vector<Refusal> refusals(const fs::path& dir) {
  const std::string m = (dir / "m.obj").string(), out = (dir / "out.3db").string();
  return {
      {{m, (dir / "out.txt").string()},
       1,
       (dir / "out.txt").string() + ": the output must end in .3db, .msh or .smsh"},
      {{m, out, "--max-vertices", "65537"},
       1,
       "--max-vertices: takes a whole number from 3 to 65536"},
      {{m, out, "--max-vertices", "2"}, 1, "--max-vertices: takes a whole number from 3 to 65536"},
      {{m, out, "--fit", "0"}, 1, "--fit: takes a positive number"},
      {{m, out, "--scale", "0"}, 1, "--scale: takes a finite number other than 0"},
      {{(dir / "flat.obj").string(), out},
       2,
       (dir / "flat.obj").string() +
           ": no triangle with an area: every one has its corners on a line"},
      {{m, out, "--up", "x"}, 1, "--up: takes z (or y, the default)"},
      {{m, out, "--colour", "12345"}, 1, "--colour: takes RRGGBB or RRGGBBAA in hex, or model"},
      {{m, out, "--colour", "00ff0g"}, 1, "--colour: takes RRGGBB or RRGGBBAA in hex, or model"},
      {{m, out, "--colour", "#00ff00"}, 1, "--colour: takes RRGGBB or RRGGBBAA in hex, or model"},
      {{m, out, "--colour"}, 1, "--colour: takes RRGGBB or RRGGBBAA in hex, or model"},
      {{m, out, "--wobble"}, 1, "--wobble: is not an option of vorlatic-import"},
      {{m}, 1, ""},
      {{m, m.substr(0, m.size() - 3) + "msh"}, 0, ""},
      {{(dir / "points.obj").string(), out},
       2,
       (dir / "points.obj").string() +
           ": no triangles: 1 point and 1 line, which a 3DB file cannot hold"},
      {{(dir / "missing.obj").string(), out},
       2,
       (dir / "missing.obj").string() + ": cannot open: No such file or directory"},
      {{dir.string(), out}, 2, dir.string() + ": cannot read: Is a directory"},
  };
}

// A corrupt file of each format: the library's reason, and nothing written.
const std::pair<const char*, std::string> corruptModels[] = {
    {"bad.obj", "v 0 0 0\nf 1 2 3\n"},
    {"bad.gltf", R"({"asset":{"version":"2.0"},"meshes":[)"},
    {"bad.glb", std::string("glTF\2\0\0\0\xFF\0\0\0garbage", 20)},
    {"bad.ply",
     "ply\nformat binary_little_endian 1.0\nelement vertex 9\nproperty float x\n"
     "element face 9\nproperty list uchar int vertex_indices\nend_header\n\1\2"},
    {"bad.stl", "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0\n"},
};

TEST_F(Import, RefusesWhatItCannotDoWordForWord) {
  writeFile(dir / "m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  writeFile(dir / "points.obj", "v 0 0 0\nv 1 0 0\np 1\nl 1 2\n");
  writeFile(dir / "flat.obj", "v 0 0 0\nv 1 1 1\nv 3 3 3\nv 2 0 0\nf 1 2 3\nf 1 4 1\n");
  const std::string m = (dir / "m.obj").string(), out = (dir / "out.3db").string();
  for (const Refusal& c : refusals(dir.path())) {
    RunResult r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.diagnostic;
    // A usage error is its line and a hint; only a wrong count of paths prints the usage.
    const std::string hint = c.status == 1 ? "Try 'vorlatic-import --help'.\n" : "";
    EXPECT_EQ(r.err, c.diagnostic.empty() ? "" : "vorlatic-import: " + c.diagnostic + "\n" + hint);
    if (c.status == 1) {
      EXPECT_EQ(r.out, c.diagnostic.empty() ? importer::usage : "") << c.diagnostic;
    }
    EXPECT_FALSE(fs::exists(out));
  }
  const std::pair<const char*, std::string> asked[] = {{"--help", std::string(importer::usage)},
                                                       {"--version", "vorlatic-import 0.1\n"}};
  for (const auto& [option, text] : asked) {
    RunResult r = run({m, option, out});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(r.out, text);
    EXPECT_EQ(r.err, "");
  }
  for (const auto& [name, content] : corruptModels) {
    writeFile(dir / name, content);
    RunResult r = run({(dir / name).string(), out});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_EQ(r.err.rfind("vorlatic-import: " + (dir / name).string() + ": ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(out)) << name;
  }
  EXPECT_EQ(testing_support::temporaryFiles(dir.path()), "");
}

// The reader runs apart: whatever goes wrong in it becomes a diagnostic.
#ifndef _WIN32
TEST_F(Import, TheIsolatedReaderFailsAsADiagnostic) {
  writeFile(dir / "m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  struct Case {
    void (*hook)();
    importer::ReaderLimits limits;
    std::string reason;
    bool ignoreChildren = false;  // the importer started with SIGCHLD ignored
  };
  const Case cases[] = {
      {[] { std::abort(); }, {}, "it was killed by signal 6 (Aborted)"},
      // As the out-of-memory killer ends it: no limit of ours was reached.
      {[] { raise(SIGKILL); }, {}, "it was killed by signal 9 (Killed)"},
      {[] { raise(SIGTERM); }, {}, "it was killed by signal 15 (Terminated)", true},
      // One request beyond the limit, as a damaged size field makes: not a model too large.
      {[] {
         std::vector<char> big(std::size_t{1} << 30, 1);
         (void)big;
       },
       {256, 60, 60},
       "it asked for more memory than its limit of 256 MiB at once; the file may be damaged"},
      {[] {
         static std::vector<std::unique_ptr<char[]>> held;
         for (;;) held.emplace_back(new char[std::size_t{4} << 20]);
       },
       {256, 60, 60},
       "it ran out of its 256 MiB of memory"},
      {[] {
         for (volatile unsigned long n = 0;; ++n) {
         }
       },
       {4096, 1, 60},
       "it used up its 1 s of CPU time"},
      {[] { std::this_thread::sleep_for(std::chrono::hours(1)); },
       {4096, 60, 1},
       "it took longer than 1 s"},
  };
  for (const Case& c : cases) {
#if defined(__SANITIZE_ADDRESS__)
    if (c.reason.find("memory") != std::string::npos) continue;  // no address-space limit there
#endif
    importer::Model model;
    std::string error;
    auto before = std::signal(SIGCHLD, c.ignoreChildren ? SIG_IGN : SIG_DFL);
    EXPECT_FALSE(
        importer::readIsolated((dir / "m.obj").string(), {}, c.limits, model, error, {c.hook}));
    std::signal(SIGCHLD, before);
    EXPECT_EQ(error, "the model reader failed: " + c.reason);
  }
  // A reader that crashes or hangs once the model is sent, as some of the library's do in a
  // scene's destructor, has read it well.
  for (void (*after)() : {+[] { std::abort(); }, +[] { pause(); }, +[] {}}) {
    importer::Model model;
    std::string error;
    EXPECT_TRUE(importer::readIsolated((dir / "m.obj").string(), {}, {4096, 60, 60}, model, error,
                                       {nullptr, after}))
        << error;
    EXPECT_EQ(model.indices, (std::vector<std::uint32_t>{0, 1, 2}));
  }
}

// The child's header is not trusted: counts whose bytes pass the room, or wrap around, do not fit.
TEST(ReaderHeader, FitsOnlyWhatTheRoomHolds) {
  const auto header = [](std::uint64_t positions, std::uint64_t indices, std::uint64_t text) {
    importer::reader::Header h;
    h.positions = positions;
    h.indices = indices;
    h.text = text;
    return h;
  };
  const struct {
    importer::reader::Header header;
    std::uint64_t room;
    bool fits;
  } cases[] = {
      {header(9, 3, 4), 52, true},                              // 36 + 12 + 4: exactly the room
      {header(9, 3, 5), 52, false},                             // a byte over
      {header(std::uint64_t{3} << 61, 0, 0), 1u << 30, false},  // 4 times it wraps to 0
      {header(std::uint64_t{1} << 62, std::uint64_t{1} << 62, 0), ~std::uint64_t{0}, false},
      {header(0, 0, 0), 0, true},
      {header(0, 0, 53), 52, false},  // the text alone passes it
  };
  for (const auto& c : cases)
    EXPECT_EQ(importer::reader::fits(c.header, c.room), c.fits) << c.header.positions;
}

// A limit on file sizes below the model's size, as `ulimit -f` sets: the model crosses the pipe
// instead, whole.
TEST_F(Import, AModelLargerThanTheFileSizeLimitStillCrosses) {
  std::string obj;
  for (int i = 0; i < 7002; ++i)
    obj += "v " + std::to_string(i) + " " + std::to_string(i % 7) + " 0\n";
  for (int i = 1; i <= 7000; ++i)
    obj +=
        "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
  writeFile(dir / "big.obj", obj);
  // In a process of its own, since only root could raise the hard limit again.
  const pid_t runner = fork();
  ASSERT_GE(runner, 0);
  if (runner == 0) {
    const rlimit low{64 << 10, 64 << 10};  // the model's corners alone take 252 KB
    setrlimit(RLIMIT_FSIZE, &low);
    importer::Model model;
    std::string error;
    const bool read =
        importer::readIsolated((dir / "big.obj").string(), {}, {4096, 60, 60}, model, error, {});
    _exit(read && model.triangleCount() == 7000 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(runner, &status, 0), runner);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
