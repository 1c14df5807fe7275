// A stream buffer over a C file that remembers why it failed, so diagnostics can give the
// system's own reason for a failed open, read, write or close.
#pragma once

#include <cstdio>
#include <memory>
#include <streambuf>
#include <string>

namespace common {

class FileBuf : public std::streambuf {
 public:
  FileBuf() = default;
  FileBuf(const FileBuf&) = delete;
  FileBuf& operator=(const FileBuf&) = delete;
  ~FileBuf() override;

  // Opens `path` (UTF-8 on Windows, bytes elsewhere) with fopen `mode` ("rb" or "wb"); false
  // with error() set when it fails.
  bool open(const std::string& path, const char* mode);

  // Uses a file opened elsewhere (standard output, a file made exclusively); close() closes it
  // only when `owned`.
  void adopt(std::FILE* file, bool owned);

  // Flushes and closes; false with error() set when either fails or an earlier call failed.
  bool close();

  // The errno of the first failure, 0 when nothing failed.
  int error() const noexcept { return error_; }

 protected:
  std::streamsize xsgetn(char* data, std::streamsize count) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  // Characters written one at a time (formatted output) gather here before they reach the file.
  static constexpr std::size_t putAreaSize = std::size_t{1} << 14;

  void fail(int error) noexcept;
  bool drainPutArea();
  bool write(const char* data, std::size_t count);

  std::FILE* file_ = nullptr;
  bool owned_ = true;
  std::unique_ptr<char[]> putArea_;
  int error_ = 0;
};

}  // namespace common
