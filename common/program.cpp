#include "common/program.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <ostream>

#include "common/diagnostics.h"
#include "common/filebuf.h"
#include "common/interrupts.h"
#include "common/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace common {
namespace {

// A standard stream the program was started without is opened on the null device: else the
// first file the program opens would take its number, and the console would be written into it.
bool openClosedStandardStreams() {
#ifndef _WIN32
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null != fd) {
      if (null >= 0) ::close(null);
      return false;
    }
  }
#endif
  return true;
}

}  // namespace

int runProgram(std::string_view program, int argc, char** argv, Run run) {
  // Lower descriptors are open, so the null device takes the number that is missing.
  if (!openClosedStandardStreams()) return statusFailed;
  interrupts::install();
  try {
    FileBuf standardOutput, standardError;
    standardOutput.adopt(stdout, false);
    standardError.adopt(stderr, false);
    std::ostream out(&standardOutput), errors(&standardError);
    const int status = run(arguments(argc, argv), out, errors);
    // Whatever a run left unflushed (it flushes before it judges its console) still goes out.
    out.flush();
    errors.flush();
    return status;
  } catch (const std::bad_alloc&) {
    std::fwrite(program.data(), 1, program.size(), stderr);
    std::fputs(": out of memory\n", stderr);
    return statusFailed;
  }
}

bool consoleIsInput(std::string_view program, const std::string& inputPath, std::ostream& out,
                    std::ostream& errors) {
#ifdef _WIN32
  HANDLE input = CreateFileW(pathOf(inputPath).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (input == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION file{};
  const bool known = GetFileInformationByHandle(input, &file);
  CloseHandle(input);
  if (!known || (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  const auto isInput = [&](DWORD stream) {
    BY_HANDLE_FILE_INFORMATION console{};
    HANDLE handle = GetStdHandle(stream);
    return handle != INVALID_HANDLE_VALUE && handle != nullptr &&
           GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &console) &&
           console.dwVolumeSerialNumber == file.dwVolumeSerialNumber &&
           console.nFileIndexHigh == file.nFileIndexHigh &&
           console.nFileIndexLow == file.nFileIndexLow;
  };
  const bool onOut = isInput(STD_OUTPUT_HANDLE), onErrors = isInput(STD_ERROR_HANDLE);
#else
  struct stat input {};
  if (::stat(inputPath.c_str(), &input) != 0 || !S_ISREG(input.st_mode)) return false;
  const auto isInput = [&](int fd) {
    struct stat console {};
    return ::fstat(fd, &console) == 0 && console.st_dev == input.st_dev &&
           console.st_ino == input.st_ino;
  };
  const bool onOut = isInput(STDOUT_FILENO), onErrors = isInput(STDERR_FILENO);
#endif
  if (!onOut && !onErrors) return false;
  if (!(onOut && onErrors))
    Diagnostics(program, onErrors ? out : errors, nullptr)
        .report(onOut ? "standard output" : "standard error",
                "is the same file as the input " + inputPath + "; not writing into it");
  return true;
}

int writeError(const std::ostream& stream) {
  const auto* file = dynamic_cast<const FileBuf*>(stream.rdbuf());
  return file && file->error() ? file->error() : EIO;
}

}  // namespace common
