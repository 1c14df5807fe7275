#include "common/output.h"

#include <system_error>

#include "common/diagnostics.h"

namespace common {

namespace fs = std::filesystem;

std::streambuf* OutputFile::open(const std::string& inputPath, std::string& reason) {
  std::error_code ignored;
  // Checked before opening: opening would truncate the input itself.
  if (fs::equivalent(inputPath, path_, ignored)) {
    reason = "is the same file as the input " + inputPath + "; not overwriting it";
    return nullptr;
  }
  fs::file_type before = fs::status(path_, ignored).type();
  if (!buffer_.open(path_, "wb")) {
    reason = "cannot create: " + systemReason(buffer_.error());
    return nullptr;
  }
  opened_ = true;
  // Only a regular file that this run created or truncated is ever removed: a device or a pipe
  // given as output is left alone.
  if (before == fs::file_type::not_found || before == fs::file_type::regular) {
    fs::path real = fs::canonical(path_, ignored);
    if (!ignored && fs::is_regular_file(real, ignored)) removable_ = real;
  }
  return &buffer_;
}

void OutputFile::discard() {
  buffer_.close();  // Windows removes no file that is still open
  if (removable_.empty()) return;
  std::error_code ignored;
  fs::remove(removable_, ignored);
}

}  // namespace common
