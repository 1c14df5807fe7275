#include "common/filebuf.h"

#include <cerrno>
#include <cstring>

#include "common/paths.h"

namespace common {

FileBuf::~FileBuf() {
  if (file_ && owned_) std::fclose(file_);
}

void FileBuf::fail(int error) noexcept {
  // A C library may fail without setting errno; EIO is the honest generic reason then.
  if (error_ == 0) error_ = error ? error : EIO;
}

bool FileBuf::open(const std::string& path, const char* mode) {
  errno = 0;
#ifdef _WIN32
  std::wstring wideMode(mode, mode + std::strlen(mode));
  file_ = _wfopen(pathOf(path).c_str(), wideMode.c_str());
#else
  file_ = std::fopen(path.c_str(), mode);
#endif
  owned_ = true;
  if (!file_) fail(errno);
  return file_ != nullptr;
}

void FileBuf::adopt(std::FILE* file, bool owned) {
  file_ = file;
  owned_ = owned;
}

bool FileBuf::close() {
  if (!file_) return error_ == 0;
  drainPutArea();
  errno = 0;
  if (owned_ ? std::fclose(file_) != 0 : std::fflush(file_) != 0) fail(errno);
  file_ = nullptr;
  return error_ == 0;
}

bool FileBuf::write(const char* data, std::size_t count) {
  if (!file_ || error_) return false;
  errno = 0;
  if (std::fwrite(data, 1, count, file_) < count) fail(errno);
  return error_ == 0;
}

bool FileBuf::drainPutArea() {
  if (!pbase() || pptr() == pbase()) return error_ == 0;
  bool written = write(pbase(), std::size_t(pptr() - pbase()));
  setp(pbase(), epptr());
  return written;
}

std::streamsize FileBuf::xsgetn(char* data, std::streamsize count) {
  if (!file_ || error_) return 0;
  errno = 0;
  std::size_t got = std::fread(data, 1, std::size_t(count), file_);
  if (got < std::size_t(count) && std::ferror(file_)) fail(errno);
  return std::streamsize(got);
}

std::streamsize FileBuf::xsputn(const char* data, std::streamsize count) {
  if (pptr() && count <= epptr() - pptr()) {
    std::memcpy(pptr(), data, std::size_t(count));
    pbump(int(count));
    return count;
  }
  if (!drainPutArea() || !write(data, std::size_t(count))) return 0;
  return count;
}

FileBuf::int_type FileBuf::overflow(int_type c) {
  if (!file_ || error_) return traits_type::eof();
  if (!putArea_) {
    putArea_.reset(new char[putAreaSize]);
    setp(putArea_.get(), putArea_.get() + putAreaSize);
  } else if (!drainPutArea()) {
    return traits_type::eof();
  }
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int FileBuf::sync() {
  if (!file_ || error_) return error_ ? -1 : 0;
  if (!drainPutArea()) return -1;
  errno = 0;
  if (std::fflush(file_) != 0) fail(errno);
  return error_ ? -1 : 0;
}

}  // namespace common
