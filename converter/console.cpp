#include "console.h"

#include <cstring>
#include <memory>
#include <string>

namespace converter {

// The last content line carries a placeholder where a web address may stand, right-aligned two
// spaces before the frame.
const std::string_view banner =
    " +----------------------------------------------------------------------------+\n"
    " |            Vorlatic v0.1 by Quen                                           |\n"
    " |                         ESKARDEL                                           |\n"
    " |           converts .msh or .smsh files to .3db for use with PSP            |\n"
    " |                                                                            |\n"
    " |                                                   https://example.invalid  |\n"
    " +----------------------------------------------------------------------------+\n";

const std::string_view usageLine = "proper usage is: <input.[s]msh> <output.3db>\n";

Echo::Echo(std::ostream& out) : out_(out), buffer_(new char[capacity]) {}

Echo::~Echo() { flush(); }

void Echo::drain() {
  out_.write(buffer_.get(), std::streamsize(used_));
  used_ = 0;
}

void Echo::flush() {
  drain();
  out_.flush();
}

void Echo::text(std::string_view text) {
  if (text.empty()) return;  // an empty view may have no data at all
  if (text.size() > capacity - used_) {
    drain();
    if (text.size() > capacity) {
      out_.write(text.data(), std::streamsize(text.size()));
      return;
    }
  }
  std::memcpy(buffer_.get() + used_, text.data(), text.size());
  used_ += text.size();
}

void Echo::versionLine(std::string_view version) {
  text("\ngoing to encode in v");
  text(version);
  text("\n");
}

void Echo::counts(const meshtext::Counts& counts) {
  text("vertexCount=" + std::to_string(counts.vertexCount) + "\n");
  text("faceCount=" + std::to_string(counts.faceCount) + "\n");
}

}  // namespace converter
