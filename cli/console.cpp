#include "console.h"

#include <cstring>

namespace vorlatic {

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

namespace {
constexpr std::size_t echoBlock = std::size_t{1} << 16;
}

Echo::Echo(std::ostream& out) : out_(out) { pending_.reserve(echoBlock + 256); }

Echo::~Echo() { flush(); }

void Echo::spill() {
  if (pending_.size() >= echoBlock) {
    out_.write(pending_.data(), std::streamsize(pending_.size()));
    pending_.clear();
  }
}

void Echo::flush() {
  out_.write(pending_.data(), std::streamsize(pending_.size()));
  pending_.clear();
  out_.flush();
}

void Echo::text(std::string_view text) {
  pending_.append(text);
  spill();
}

void Echo::versionLine(std::string_view version) {
  pending_.append("\ngoing to encode in v").append(version).append("\n");
  spill();
}

void Echo::counts(const meshtext::Counts& counts) {
  pending_.append("vertexCount=").append(std::to_string(counts.vertexCount)).append("\n");
  pending_.append("faceCount=").append(std::to_string(counts.faceCount)).append("\n");
  spill();
}

void Echo::vertex(const meshtext::Vertex& vertex) {
  for (std::string_view token : vertex.text) pending_.append(token).push_back(' ');
  pending_.push_back('\n');
  spill();
}

void Echo::face(const meshtext::Face& face) {
  pending_.append(face.text[0]).push_back(' ');
  pending_.append(face.text[1]).push_back(' ');
  pending_.append(face.text[2]).push_back('\n');
  spill();
}

void diagnose(Echo& echo, std::ostream& errors, std::string_view what, std::string_view reason) {
  echo.flush();
  errors << "vorlatic: " << what << ": " << reason << '\n';
  errors.flush();
}

std::string systemReason(int error) { return std::strerror(error); }

}  // namespace vorlatic
