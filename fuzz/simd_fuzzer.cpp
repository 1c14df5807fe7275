// The token index made with each kind of instruction against the portable one, and
// the whole conversion with the processor's best instructions against the portable ones: the same
// offsets, the same bytes, the same console, whatever the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "in_memory.h"
#include "meshtext/index.h"

using fuzzing::check;
using fuzzing::convert;
using fuzzing::Converted;

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

  const Converted best = convert(text, {1, 4096, meshtext::bestSimd()});
  const Converted scalar = convert(text, {1, 4096, meshtext::Simd::portable});
  check(best.status == scalar.status && best.bytes == scalar.bytes &&
        best.console == scalar.console && best.errors == scalar.errors);
  return 0;
}
