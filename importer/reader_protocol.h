// What the model reader's child and its parent share: the header the child sends, the limits
// the parent gives it, and what the child's exit statuses mean.
#pragma once
#ifndef _WIN32

#include <sys/resource.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>

#include <cstdint>
#include <string>
#include <vector>

#include "isolate.h"

namespace importer::reader {

// What the child sends before the model: its counts, and the length of the text that follows
// (the format's name, or the reader's reason for failing).
struct Header {
  std::uint32_t magic = 0x504D4956;  // "VIMP"
  std::uint32_t read = 0;            // 1 when the model was read
  ReadFigures figures;
  std::uint64_t positions = 0, indices = 0, colours = 0, list = 0, files = 0, text = 0;
  std::uint32_t inFile = 0;  // 1 when what follows was written to the shared file instead
};

// Whether what the header says follows fits in `room` bytes, taken from the room part by part:
// the counts are the child's, and no sum or product of them may wrap.
inline bool fits(const Header& header, std::uint64_t room) {
  for (std::uint64_t bytes : {header.text, header.list, header.files}) {
    if (bytes > room) return false;
    room -= bytes;
  }
  for (std::uint64_t words : {header.positions, header.indices, header.colours}) {
    if (words > room / 4) return false;
    room -= 4 * words;
  }
  return true;
}

// AddressSanitizer reserves terabytes of address space up front: under it, a limit on the
// address space would stop the reader before it began, so only the time is limited.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool limitAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool limitAddressSpace = false;
#else
inline constexpr bool limitAddressSpace = true;
#endif
#else
inline constexpr bool limitAddressSpace = true;
#endif

// A reason longer than this is cut: the child is not trusted with the parent's memory.
inline constexpr std::uint64_t maxText = 4096;
// The pipe's size asked for: the most an unprivileged process may set by default on Linux
// (/proc/sys/fs/pipe-max-size).
inline constexpr int pipeBytes = 1 << 20;
// The child's statuses when an allocation failed: after its memory had grown near its limit, or
// while far below it, so that one request alone was more than the limit.
inline constexpr int exitOutOfMemory = 3;
inline constexpr int exitAskedTooMuch = 4;

// Whether this process may give a child `limit` of `resource`: not where a lower hard limit was
// inherited, which then is the one that applies.
bool ours(int resource, rlim_t limit);
rlimit memoryLimit(const ReaderLimits& limits);
// The hard limit a second later: the soft one sends SIGXCPU, the hard one SIGKILL.
rlimit cpuLimit(const ReaderLimits& limits);

// Moves `size` bytes at `p` by `step(p, left)`, a read or a write of what is left that returns
// as the system call does, again where a signal cut it short; false at an end or an error.
template <class Step>
bool moveAll(char* p, std::size_t size, Step&& step) {
  while (size > 0) {
    const ssize_t n = step(p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

// Runs the reader in the child: reads the model at `path` under `limits`, sends it through `fd`
// (the pipe) and `file` (the shared file, when >= 0), and ends the process.
[[noreturn]] void runChild(int fd, int file, const std::string& path,
                           const std::vector<std::string>& meshes, const ReaderLimits& limits,
                           const ReaderHooks& hooks);

}  // namespace importer::reader

#endif
