// Number conversion on arbitrary tokens: the general conversion against the C library (where it
// is glibc, the reference), the in-place conversion of the converter and the summaries of the token
// given in pieces against the general one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "meshtext/batch.h"
#include "meshtext/numbers.h"
#include "meshtext/summary.h"
#include "meshtext/text.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string token(reinterpret_cast<const char*>(data), size);
  // A token never holds whitespace; cut at the first, as the reader does.
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (meshtext::isSpace(token[i])) {
      token.resize(i);
      break;
    }
  }
  const meshtext::DoubleParse parsed = meshtext::parseDouble(token);
  const std::uint32_t coordinate = meshtext::parseCoordinateBits(token);
  const std::int32_t integer = meshtext::parseInteger(token);
  check(parsed.consumed <= token.size());
  check(coordinate == meshtext::roundToFloatBits(parsed.bits));

#ifdef __GLIBC__
  // strtod and strtol stop at a NUL: so does every number.
  char* end = nullptr;
  double reference = std::strtod(token.c_str(), &end);
  std::uint64_t referenceBits;
  std::memcpy(&referenceBits, &reference, sizeof referenceBits);
  check(parsed.bits == referenceBits);
  check(parsed.consumed == std::size_t(end - token.c_str()));
  float referenceFloat = static_cast<float>(reference);
  std::uint32_t referenceFloatBits;
  std::memcpy(&referenceFloatBits, &referenceFloat, sizeof referenceFloatBits);
  check(coordinate == referenceFloatBits);
  long referenceInteger = std::strtol(token.c_str(), nullptr, 10);
  if (referenceInteger > INT32_MAX) referenceInteger = INT32_MAX;
  if (referenceInteger < INT32_MIN) referenceInteger = INT32_MIN;
  check(integer == referenceInteger);
#endif

  // The token in pieces of 1 to 8 bytes, as a long token streams by.
  meshtext::CoordinateSummary coordinateSummary;
  meshtext::IntegerSummary integerSummary;
  std::uint32_t split = std::uint32_t(size) * 2654435761u;
  for (std::size_t at = 0; at < token.size();) {
    std::size_t length = std::min<std::size_t>(token.size() - at, 1 + ((split >>= 3) & 7));
    if (split < 8) split = std::uint32_t(at) * 2654435761u + 1;
    coordinateSummary.add(std::string_view(token).substr(at, length));
    integerSummary.add(std::string_view(token).substr(at, length));
    at += length;
  }
  check(coordinateSummary.bits() == coordinate);
  check(integerSummary.value() == integer);

  if (token.empty()) return 0;
  // The same token four times, converted a batch at a time with each kind of instruction from
  // a padded buffer, the last ending the text.
  std::string text = token + " " + token + "\n" + token + "\t" + token;
  const meshtext::PaddedText padded(text);
  std::vector<std::uint32_t> starts(meshtext::indexCapacity(text.size()));
  std::uint32_t ends[4], bits[4];
  std::int32_t values[4];
  check(meshtext::indexTokens(padded.data(), padded.size(), true, starts.data()) == 4);
  for (meshtext::Simd simd : {meshtext::Simd::portable, meshtext::Simd::avx2}) {
    meshtext::coordinateTokens(padded.data(), padded.size(), starts.data(), 4, bits, ends, simd);
    for (std::size_t i = 0; i < 4; ++i)
      check(bits[i] == coordinate && ends[i] == starts[i] + token.size());
    meshtext::integerTokens(padded.data(), padded.size(), starts.data(), 4, values, ends, simd);
    for (std::size_t i = 0; i < 4; ++i)
      check(values[i] == integer && ends[i] == starts[i] + token.size());
  }
  return 0;
}
