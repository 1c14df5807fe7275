// The whole conversion from memory to memory on arbitrary bytes. Whatever the input: no crash, no
// undefined behaviour, status 0 or 2 and never 1; a converted input gives a file whose size and
// header agree with the echo; a rejected one names its problem on the error stream. One thread
// and two threads in tiny chunks (where most records are longer than a block and stream by) must
// agree byte for byte, but for the echo of an incomplete last record, which a streamed record
// prints as it goes by: one more line at the end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "in_memory.h"

namespace {

using fuzzing::check;
using fuzzing::convert;
using fuzzing::Converted;

std::uint32_t little32(const std::string& bytes, std::size_t at) {
  return std::uint32_t(static_cast<unsigned char>(bytes[at])) |
         std::uint32_t(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         std::uint32_t(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         std::uint32_t(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Converted one = convert(text, {1, 4096});
  const Converted two = convert(text, {2, 16});
  check(one.status == two.status && one.bytes == two.bytes && one.errors == two.errors);
  const bool endsIncomplete = one.errors.find("the last face has only") != std::string::npos ||
                              one.errors.find("the input ends after") != std::string::npos;
  if (endsIncomplete && one.console != two.console) {
    check(two.console.compare(0, one.console.size(), one.console) == 0);
    check(two.console.back() == '\n' &&
          two.console.find('\n', one.console.size()) == two.console.size() - 1);
  } else {
    check(one.console == two.console);
  }

  check(one.status == common::statusOk || one.status == common::statusFailed);
  if (one.status == common::statusFailed) {
    check(one.errors.rfind("vorlatic: ", 0) == 0 && one.errors.back() == '\n');
    return 0;
  }
  // Converted: the header, the file size and the echo agree.
  check(one.bytes.size() >= 15 && one.bytes.compare(0, 3, "3DB") == 0);
  const std::uint64_t vertexCount = little32(one.bytes, 3);
  check(vertexCount < 0x80000000u);
  check(little32(one.bytes, 11) == 1);
  const std::uint64_t afterVertices = 15 + 16 * vertexCount;
  check(one.bytes.size() >= afterVertices && (one.bytes.size() - afterVertices) % 6 == 0);
  const std::uint64_t faceRecords = (one.bytes.size() - afterVertices) / 6;
  std::uint64_t lines = 0;
  for (char c : one.console) lines += c == '\n';
  check(lines == 2 + vertexCount + faceRecords);
  const std::string warning = "vorlatic: <input>: warning: ";
  for (std::size_t at = 0; at < one.errors.size(); at = one.errors.find('\n', at) + 1)
    check(one.errors.compare(at, warning.size(), warning) == 0);
  return 0;
}
