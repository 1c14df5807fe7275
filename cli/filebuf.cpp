#include "filebuf.h"

#include <cerrno>

namespace vorlatic {

FileBuf::~FileBuf() {
  if (file_) std::fclose(file_);
}

void FileBuf::fail(int error) noexcept {
  // A C library may fail without setting errno; EIO is the honest generic reason then.
  if (error_ == 0) error_ = error ? error : EIO;
}

bool FileBuf::open(const std::string& path, const char* mode) {
  errno = 0;
  file_ = std::fopen(path.c_str(), mode);
  if (!file_) fail(errno);
  return file_ != nullptr;
}

bool FileBuf::close() {
  if (!file_) return error_ == 0;
  errno = 0;
  if (std::fclose(file_) != 0) fail(errno);
  file_ = nullptr;
  return error_ == 0;
}

std::streamsize FileBuf::xsgetn(char* data, std::streamsize count) {
  if (!file_ || error_) return 0;
  errno = 0;
  std::size_t got = std::fread(data, 1, std::size_t(count), file_);
  if (got < std::size_t(count) && std::ferror(file_)) fail(errno);
  return std::streamsize(got);
}

std::streamsize FileBuf::xsputn(const char* data, std::streamsize count) {
  if (!file_ || error_) return 0;
  errno = 0;
  std::size_t put = std::fwrite(data, 1, std::size_t(count), file_);
  if (put < std::size_t(count)) fail(errno);
  return std::streamsize(put);
}

FileBuf::int_type FileBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

int FileBuf::sync() {
  if (!file_ || error_) return error_ ? -1 : 0;
  errno = 0;
  if (std::fflush(file_) != 0) fail(errno);
  return error_ ? -1 : 0;
}

}  // namespace vorlatic
