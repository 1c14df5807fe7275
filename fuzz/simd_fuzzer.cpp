// The token index made with each kind of instruction against the portable one, and
// the whole conversion with the processor's best instructions against the portable ones: the same
// offsets, the same bytes, the same console, whatever the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "meshtext/index.h"
#include "run.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

struct Converted {
  int status;
  std::string bytes, console, errors;
};

Converted convert(const std::string& text, meshtext::Simd simd, std::size_t block) {
  Converted c;
  std::ostringstream console, errors;
  c.status = converter::convertInMemory(text, c.bytes, console, errors, {1, block, simd});
  c.console = console.str();
  c.errors = errors.str();
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool afterSpace = size % 2 == 0;
  std::vector<std::uint32_t> portable(meshtext::indexCapacity(size)),
      other(meshtext::indexCapacity(size));
  const std::size_t n = meshtext::indexTokens(text.data(), size, afterSpace, portable.data(),
                                              meshtext::Simd::portable);
  for (meshtext::Simd simd : {meshtext::Simd::sse2, meshtext::Simd::avx2}) {
    check(meshtext::indexTokens(text.data(), size, afterSpace, other.data(), simd) == n);
    check(std::equal(portable.begin(), portable.begin() + std::ptrdiff_t(n), other.begin()));
  }

  const Converted best = convert(text, meshtext::bestSimd(), 4096);
  const Converted scalar = convert(text, meshtext::Simd::portable, 4096);
  check(best.status == scalar.status && best.bytes == scalar.bytes &&
        best.console == scalar.console && best.errors == scalar.errors);
  return 0;
}
