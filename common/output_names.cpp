#include "output_names.h"

#include <atomic>
#include <chrono>
#include <cstdint>

#include "common/diagnostics.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace common::detail {

std::string temporaryName() {
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::atomic<std::uint64_t> counter{0};
  // splitmix64 over the clock, the process and a counter: unpredictable enough that names made
  // by runs side by side rarely meet, and a meeting only costs another try.
  std::uint64_t x = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (std::uint64_t(reinterpret_cast<std::uintptr_t>(&counter)) << 16) ^
                    (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
#ifdef _WIN32
  x ^= std::uint64_t(GetCurrentProcessId()) << 40;
#else
  x ^= std::uint64_t(getpid()) << 40;
#endif
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  x ^= x >> 31;
  std::string name = temporaryPrefix;
  for (int i = 0; i < temporaryLetters; ++i, x /= 62) name += letters[x % 62];
  return name;
}

std::string cannotCreate(int error) { return "cannot create: " + systemReason(error); }

std::string sameAsInput(const std::string& inputPath) {
  return "is the same file as the input " + inputPath + "; not overwriting it";
}

}  // namespace common::detail
