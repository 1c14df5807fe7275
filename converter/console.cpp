#include "console.h"

#include <cassert>
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

char* echoRecord(char* out, const std::array<std::string_view, 3>& tokens,
                 std::string_view ending) {
  for (std::size_t k = 0; k < 3; ++k) {
    std::memcpy(out, tokens[k].data(), tokens[k].size());
    out += tokens[k].size();
    if (k < 2) *out++ = ' ';
  }
  std::memcpy(out, ending.data(), ending.size());
  return out + ending.size();
}

void EchoPieces::clear() noexcept {
  runStart_ = end_ = buffer_.get();
  pieces_.clear();
}

void EchoPieces::makeRoom(std::size_t bytes) {
  assert(end_ == buffer_.get());
  if (bytes > capacity_) {
    buffer_.reset(new char[bytes]);  // not zeroed: only what is written out is touched
    capacity_ = bytes;
    runStart_ = end_ = buffer_.get();
  }
}

void EchoPieces::closeRun() {
  if (end_ != runStart_) pieces_.emplace_back(runStart_, std::size_t(end_ - runStart_));
  runStart_ = end_;
}

void EchoPieces::add(std::string_view text) {
  closeRun();
  if (text.empty()) return;
  if (!pieces_.empty() && pieces_.back().data() + pieces_.back().size() == text.data())
    pieces_.back() = std::string_view(pieces_.back().data(), pieces_.back().size() + text.size());
  else
    pieces_.push_back(text);
}

const std::vector<std::string_view>& EchoPieces::pieces() {
  closeRun();
  return pieces_;
}

}  // namespace converter
