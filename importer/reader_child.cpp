#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/interrupts.h"
#include "reader_protocol.h"
#include "scene.h"

namespace importer::reader {
namespace {

bool writeAll(int fd, const void* data, std::size_t size) {
  // write() reads from the buffer it is given, which moveAll passes as writable.
  return moveAll(static_cast<char*>(const_cast<void*>(data)), size,
                 [fd](char* p, std::size_t left) { return ::write(fd, p, left); });
}

// The most address space this process has had, in KiB, or 0 where that is not known. Reads
// without allocating, since it is asked when an allocation has just failed.
std::uint64_t peakKiB() {
#ifdef __linux__
  int fd = ::open("/proc/self/status", O_RDONLY);
  if (fd < 0) return 0;
  char text[8192];
  std::size_t size = 0;
  for (ssize_t n;
       size < sizeof text - 1 && (n = ::read(fd, text + size, sizeof text - 1 - size));) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    size += std::size_t(n);
  }
  ::close(fd);
  text[size] = '\0';
  const char* line = std::strstr(text, "VmPeak:");
  return line ? std::strtoull(line + 7, nullptr, 10) : 0;
#else
  return 0;
#endif
}

[[noreturn]] void exitForMemory() {
  rlimit limit{};
  const std::uint64_t peak = peakKiB();
  const bool farBelow = peak > 0 && getrlimit(RLIMIT_AS, &limit) == 0 &&
                        limit.rlim_cur != RLIM_INFINITY && peak < limit.rlim_cur / 1024 / 2;
  _exit(farBelow ? exitAskedTooMuch : exitOutOfMemory);
}

}  // namespace

bool ours(int resource, rlim_t limit) {
  rlimit current{};
  return getrlimit(resource, &current) == 0 &&
         (current.rlim_max == RLIM_INFINITY || current.rlim_max >= limit);
}

rlimit memoryLimit(const ReaderLimits& limits) {
  return {rlim_t(limits.memoryMiB) << 20, rlim_t(limits.memoryMiB) << 20};
}

rlimit cpuLimit(const ReaderLimits& limits) {
  return {rlim_t(limits.seconds), rlim_t(limits.seconds) + 1};
}

void runChild(int fd, int file, const std::string& path, const std::vector<std::string>& meshes,
              const ReaderLimits& limits, const ReaderHooks& hooks) {
  common::interrupts::forgetInChild();
#ifdef __linux__
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // a reader outlives no interrupted importer
#endif
  const rlimit memory = memoryLimit(limits), cpu = cpuLimit(limits);
  if (limitAddressSpace) setrlimit(RLIMIT_AS, &memory);
  setrlimit(RLIMIT_CPU, &cpu);
  // The shared file is memory too, and not in the child's address space: it is held to as much
  // as that, or to less where this process may not raise its limit.
  rlimit fileSize{};
  if (file >= 0 && getrlimit(RLIMIT_FSIZE, &fileSize) == 0) {
    fileSize.rlim_cur = std::min(memory.rlim_cur, fileSize.rlim_max);
    setrlimit(RLIMIT_FSIZE, &fileSize);
    std::signal(SIGXFSZ, SIG_IGN);  // a write past it fails, and the pipe takes the model
  }
  try {
    if (hooks.beforeReading) hooks.beforeReading();
    Model model;
    std::string error;
    Header header;
    // The library's reader is left alive: the model goes to the parent first, and the process
    // ends with _exit, so that a crash in the scene's destructor cannot lose a good read.
    header.read = readScene(path, meshes, model, error, true) ? 1 : 0;
    if (!header.read && error.find("bad_alloc") != std::string::npos)
      exitForMemory();  // the library caught it
    const std::string& text = header.read ? model.format : error;
    header.figures = model;
    header.positions = model.positions.size();
    header.indices = model.indices.size();
    header.colours = model.colours.size();
    const std::string list = encodeMeshList(model.meshList);
    header.list = list.size();
    std::string files;
    for (const std::string& file : model.filesRead)
      if (files.size() + file.size() < maxFilesBytes) files += file + '\0';
    header.files = files.size();
    header.text = std::min<std::uint64_t>(text.size(), maxText);
    const auto body = [&](int to) {
      return writeAll(to, text.data(), header.text) &&
             writeAll(to, model.positions.data(), model.positions.size() * sizeof(float)) &&
             writeAll(to, model.indices.data(), model.indices.size() * sizeof(std::uint32_t)) &&
             writeAll(to, model.colours.data(), model.colours.size() * sizeof(std::uint32_t)) &&
             writeAll(to, list.data(), list.size()) && writeAll(to, files.data(), files.size());
    };
    // Into the shared file, the header last: when it comes, the rest is there. Where the file
    // takes not all of it (a limit on file sizes, a full memory), all of it through the pipe.
    header.inFile = 1;
    bool sent = file >= 0 && body(file) && writeAll(fd, &header, sizeof header);
    if (!sent) {
      header.inFile = 0;
      sent = writeAll(fd, &header, sizeof header) && body(fd);
    }
    if (sent && hooks.afterSending) hooks.afterSending();
    _exit(sent ? 0 : 1);
  } catch (const std::bad_alloc&) {
    exitForMemory();
  } catch (...) {
    _exit(1);
  }
}

}  // namespace importer::reader

#endif
