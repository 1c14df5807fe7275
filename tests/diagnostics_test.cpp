// Names as diagnostics print them: always one line, never a command to the terminal, any script
// as it is.
#include <gtest/gtest.h>

#include <sstream>

#include "common/diagnostics.h"

namespace {

TEST(Printable, KeepsEveryScriptAndEscapesWhatCouldSplitALineOrCommandATerminal) {
  const struct {
    std::string name, printed;
  } cases[] = {
      {"plain.msh", "plain.msh"},
      {"", "''"},
      {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
      {"\x1b[31mred", "\\x1b[31mred"},
      {"del\x7f", "del\\x7f"},
      {"\xc3\xa9\xe6\xa8\xa1\xe5\x9e\x8b", "\xc3\xa9\xe6\xa8\xa1\xe5\x9e\x8b"},  // é模型
      {"\xf0\x9f\x99\x82", "\xf0\x9f\x99\x82"},                                  // an emoji
      {"\xc2\x9b"
       "2J",
       "\\xc2\\x9b2J"},  // U+009B, a C1 control: CSI
      {"\x9b"
       "2J",
       "\\x9b2J"},                          // the same as a lone byte, which is not UTF-8
      {"\xc0\xaf", "\\xc0\\xaf"},           // an overlong slash
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},  // a surrogate
      {"cut\xe6\xa8", "cut\\xe6\\xa8"},     // a character cut short
  };
  for (const auto& c : cases) EXPECT_EQ(common::printable(c.name), c.printed) << c.printed;

  std::ostringstream errors;
  common::Diagnostics("vorlatic", errors, nullptr).report("a\nb.msh", "cannot open: x");
  EXPECT_EQ(errors.str(), "vorlatic: a\\nb.msh: cannot open: x\n");
}

}  // namespace
