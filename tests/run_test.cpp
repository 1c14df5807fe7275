// The run sequence driven in-process: arguments, echo, diagnostics word for word, exit status.
#include "run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support.h"

namespace fs = std::filesystem;
using testing_support::goldenBytes;
using testing_support::goldenText;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

using Result = testing_support::RunResult;

Result runWith(const std::vector<std::string>& args) {
  return testing_support::runCaptured(converter::run, args);
}

class Run : public ::testing::Test {
 protected:
  // Converts `text` from in.msh to out.3db with the given extra arguments.
  Result convert(const std::string& text, std::vector<std::string> extra = {}) {
    writeFile(input, text);
    std::vector<std::string> args{"vorlatic", input.string(), output.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return runWith(args);
  }
  std::string diagnostic(const fs::path& what, const std::string& reason) {
    return "vorlatic: " + what.string() + ": " + reason + "\n";
  }

  ScratchDir dir;
  fs::path input = dir / "in.msh";
  fs::path output = dir / "out.3db";
  const std::string banner = goldenText("overview.stdout").substr(0, 7 * 80);
};

TEST_F(Run, BannerIsSevenFramedLinesOf79Characters) {
  std::istringstream lines(banner);
  std::string line;
  int count = 0;
  for (; std::getline(lines, line); ++count) {
    EXPECT_EQ(line.size(), 79u) << line;
    EXPECT_EQ(line.substr(0, 2), count == 0 || count == 6 ? " +" : " |");
  }
  EXPECT_EQ(count, 7);
}

TEST_F(Run, FewerThanTwoArgumentsPrintTheUsageLineOnly) {
  for (auto args : {std::vector<std::string>{"vorlatic"}, {"vorlatic", input.string()}}) {
    Result r = runWith(args);
    EXPECT_EQ(r.status, common::statusUsage);
    EXPECT_EQ(r.out, banner + "proper usage is: <input.[s]msh> <output.3db>\n");
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(Run, AThirdArgumentIsEchoedAndLaterOnesIgnored) {
  Result three = convert("0 0", {"2"});
  EXPECT_EQ(three.out, banner + "\ngoing to encode in v2\nvertexCount=0\nfaceCount=0\n");
  EXPECT_EQ(readFile(output), std::string("3DB\0\0\0\0\0\0\0\0\1\0\0\0", 15));

  Result five = convert("0 0", {"2", "x", "y"});
  EXPECT_EQ(five.status, common::statusOk);
  EXPECT_EQ(five.out, banner + "vertexCount=0\nfaceCount=0\n");
}

TEST_F(Run, WorkedExampleMatchesItsGoldenFiles) {
  Result r = convert(goldenText("overview.msh"));
  EXPECT_EQ(r.status, common::statusOk);
  EXPECT_EQ(r.out, goldenText("overview.stdout"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readFile(output), goldenBytes("overview.3db.hex"));
  EXPECT_EQ(readFile(output).size(), 69u);
}

struct Rejection {
  const char* input;
  const char* reason;
  const char* echo;  // what follows the banner on standard output
};

TEST_F(Run, RejectedInputsStopWithStatus2AndLeaveNoOutput) {
  const Rejection cases[] = {
      {"", "no vertex and face counts: the input holds no token", ""},
      {" \r\n\t ", "no vertex and face counts: the input holds no token", ""},
      {"12", "no face count: the input holds a single token", ""},
      {"-1 0 1 2 3", "negative vertexCount -1", "vertexCount=-1\nfaceCount=0\n"},
      {"2 0\n1 2 3\n4 5", "the input ends after 1 of 2 declared vertices",
       "vertexCount=2\nfaceCount=0\n1 2 3 \n"},
      {"1 0", "the input ends after 0 of 1 declared vertex", "vertexCount=1\nfaceCount=0\n"},
      // Never padded: a short input with a huge count stops at once.
      {"99999999999 0 1 2 3", "the input ends after 1 of 2147483647 declared vertices",
       "vertexCount=2147483647\nfaceCount=0\n1 2 3 \n"},
  };
  for (const auto& c : cases) {
    Result r = convert(c.input);
    EXPECT_EQ(r.status, common::statusFailed) << c.input;
    EXPECT_EQ(r.err, diagnostic(input, c.reason)) << c.input;
    EXPECT_EQ(r.out, banner + c.echo) << c.input;
    EXPECT_FALSE(fs::exists(output)) << c.input;
  }
}

struct Warning {
  const char* input;
  const char* reason;
  std::uint64_t size;
};

TEST_F(Run, WarningsKeepTheOutputAndStatus0) {
  const Warning cases[] = {
      {"1 0 1 2 3 4 5", "warning: the last face has only 2 indices; dropped", 31},
      {"0 0 7", "warning: the last face has only 1 index; dropped", 15},
      {"0 2 65536 -1 2 0 1 2", "warning: 2 indices outside 0..65535, stored modulo 65536", 27},
      {"0 3 0 1 2",
       "warning: faceCount is 3 but the input holds 1 face; all are converted and the header "
       "keeps 3",
       21},
      {"0 -1",
       "warning: faceCount is -1 but the input holds 0 faces; all are converted and the header "
       "keeps -1",
       15},
  };
  for (const auto& c : cases) {
    Result r = convert(c.input);
    EXPECT_EQ(r.status, common::statusOk) << c.input;
    EXPECT_EQ(r.err, diagnostic(input, c.reason)) << c.input;
    EXPECT_EQ(fs::file_size(output), c.size) << c.input;
  }
}

// What reaches a terminal from two streams, in the order it reaches it: the console holds its
// text until it is flushed, as a buffered standard output does; errors pass at once, as standard
// error does. Each entry is the stream's name and what it wrote in one go.
class Terminal {
 public:
  std::ostream console{&consoleBuffer_};
  std::ostream errors{&errorBuffer_};
  std::vector<std::pair<std::string, std::string>> seen;

 private:
  void arrive(const std::string& stream, const std::string& text) {
    if (text.empty()) return;
    if (!seen.empty() && seen.back().first == stream)
      seen.back().second += text;
    else
      seen.emplace_back(stream, text);
  }
  struct Buffered : std::stringbuf {
    Terminal& terminal;
    explicit Buffered(Terminal& t) : terminal(t) {}
    int sync() override {
      terminal.arrive("out", str());
      str("");
      return 0;
    }
  };
  struct Unbuffered : std::streambuf {
    Terminal& terminal;
    explicit Unbuffered(Terminal& t) : terminal(t) {}
    std::streamsize xsputn(const char* data, std::streamsize n) override {
      terminal.arrive("err", std::string(data, std::size_t(n)));
      return n;
    }
    int_type overflow(int_type c) override {
      if (c != traits_type::eof()) terminal.arrive("err", std::string(1, char(c)));
      return traits_type::not_eof(c);
    }
  };
  Buffered consoleBuffer_{*this};
  Unbuffered errorBuffer_{*this};
};

TEST_F(Run, DiagnosticsFollowTheEchoInOrder) {
  writeFile(input, "1 5 1 2 3 4");
  Terminal terminal;
  EXPECT_EQ(converter::run({"vorlatic", input.string(), output.string()}, terminal.console,
                           terminal.errors),
            0);
  using Seen = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(terminal.seen,
            (Seen{{"out", banner + "vertexCount=1\nfaceCount=5\n1 2 3 \n"},
                  {"err", diagnostic(input, "warning: the last face has only 1 index; dropped") +
                              diagnostic(input,
                                         "warning: faceCount is 5 but the input holds 0 faces; "
                                         "all are converted and the header keeps 5")}}));
}

TEST_F(Run, GiantTokensAreEchoedWhole) {
  std::string giant = "1" + std::string(1 << 20, '0');
  Result r = convert("1 0\n" + giant + " -" + giant + "\t" + giant + "e-1048577\n");
  EXPECT_EQ(r.status, common::statusOk);
  EXPECT_EQ(r.out, banner + "vertexCount=1\nfaceCount=0\n" + giant + " -" + giant + " " + giant +
                       "e-1048577 \n");
  // +inf, -inf, 0.1f
  EXPECT_EQ(readFile(output).substr(15),
            std::string("\x00\xFF\x00\xFF\x00\x00\x80\x7F\x00\x00\x80\xFF\xCD\xCC\xCC\x3D", 16));
}

}  // namespace
