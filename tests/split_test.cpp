// vorlatic-import --split: parts that are one file under two names are refused, whichever way
// the link between them runs, and nothing is changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "import.h"
#include "support.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::temporaryFiles;
using testing_support::writeFile;

namespace {

// A strip of `quads` quads: 2 * (quads + 1) vertices, two parts at --max-vertices of a little
// over half of them.
std::string strip(int quads) {
  std::ostringstream obj;
  for (int i = 0; i <= quads; ++i) obj << "v " << i << " 0 0\nv " << i << " 1 0\n";
  for (int i = 0; i < quads; ++i)
    obj << "f " << 2 * i + 1 << ' ' << 2 * i + 3 << ' ' << 2 * i + 4 << ' ' << 2 * i + 2 << '\n';
  return obj.str();
}

TEST(Split, RefusesPartsThatAreOneFile) {
  const struct {
    const char* name;
    const char* link;    // a part's name made a link
    const char* target;  // to this
    bool targetExists;
  } cases[] = {
      {"a later part to an earlier one", "out-2.3db", "out-1.3db", true},
      {"a later part to an earlier one not made yet", "out-2.3db", "out-1.3db", false},
      {"an earlier part to a later one", "out-1.3db", "out-2.3db", true},
      {"an earlier part to a later one not made yet", "out-1.3db", "out-2.3db", false},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    writeFile(dir / "strip.obj", strip(40));
    if (c.targetExists) writeFile(dir / c.target, "old");
    fs::create_symlink(c.target, dir / c.link);
    std::ostringstream out, err;
    const int status =
        importer::run({"vorlatic-import", (dir / "strip.obj").string(), (dir / "out.3db").string(),
                       "--split", "--max-vertices", "50", "--quiet"},
                      out, err);
    EXPECT_EQ(status, 2) << c.name;
    EXPECT_NE(err.str().find("another part; not overwriting it"), std::string::npos)
        << c.name << ": " << err.str();
    EXPECT_EQ(fs::exists(dir / c.target) ? readFile(dir / c.target) : "gone",
              c.targetExists ? "old" : "gone")
        << c.name;
    EXPECT_EQ(temporaryFiles(dir.path()), "") << c.name;
  }
}

}  // namespace
