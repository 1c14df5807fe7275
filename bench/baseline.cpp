// The straightforward converter the benchmark compares against: one formatted read per token, the
// C library's conversions, one formatted print per echoed token, one fwrite per field. It writes
// the same bytes as vorlatic for well-formed input, and trusts its input: a benchmark tool only.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const bannerLines[] = {
    " +----------------------------------------------------------------------------+\n",
    " |            Vorlatic v0.1 by Quen                                           |\n",
    " |                         ESKARDEL                                           |\n",
    " |           converts .msh or .smsh files to .3db for use with PSP            |\n",
    " |                                                                            |\n",
    " |                                                   https://example.invalid  |\n",
    " +----------------------------------------------------------------------------+\n",
};

std::int32_t toInt32(const char* token) {
  long value = std::strtol(token, nullptr, 10);
  return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : std::int32_t(value);
}

void put32(std::uint32_t value, std::FILE* out) {
  using byte = unsigned char;
  byte bytes[4] = {byte(value), byte(value >> 8), byte(value >> 16), byte(value >> 24)};
  std::fwrite(bytes, 1, 4, out);
}

void put16(std::uint16_t value, std::FILE* out) {
  using byte = unsigned char;
  byte bytes[2] = {byte(value), byte(value >> 8)};
  std::fwrite(bytes, 1, 2, out);
}

std::uint32_t floatBits(const char* token) {
  float value = float(std::strtod(token, nullptr));
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

int main(int argc, char** argv) {
  for (const char* line : bannerLines) std::printf("%s", line);
  if (argc < 3) {
    std::printf("proper usage is: <input.[s]msh> <output.3db>\n");
    return 1;
  }
  std::FILE* in = std::fopen(argv[1], "r");
  if (!in) return 2;
  char a[256], b[256], c[256];
  if (std::fscanf(in, "%255s", a) != 1 || std::fscanf(in, "%255s", b) != 1) return 2;
  std::int32_t vertexCount = toInt32(a), faceCount = toInt32(b);
  std::printf("vertexCount=%i\n", vertexCount);
  std::printf("faceCount=%i\n", faceCount);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 2;
  std::fwrite("3DB", 1, 3, out);
  put32(std::uint32_t(vertexCount), out);
  put32(std::uint32_t(faceCount), out);
  put32(1, out);
  for (std::int32_t i = 0; i < vertexCount; ++i) {
    if (std::fscanf(in, "%255s", a) != 1 || std::fscanf(in, "%255s", b) != 1 ||
        std::fscanf(in, "%255s", c) != 1)
      return 2;
    std::printf("%s ", a);
    std::printf("%s ", b);
    std::printf("%s \n", c);
    put32(0xFF00FF00u, out);
    put32(floatBits(a), out);
    put32(floatBits(b), out);
    put32(floatBits(c), out);
  }
  while (std::fscanf(in, "%255s", a) == 1) {
    if (std::fscanf(in, "%255s", b) != 1 || std::fscanf(in, "%255s", c) != 1) break;
    std::printf("%s ", a);
    std::printf("%s ", b);
    std::printf("%s\n", c);
    put16(std::uint16_t(toInt32(a)), out);
    put16(std::uint16_t(toInt32(b)), out);
    put16(std::uint16_t(toInt32(c)), out);
  }
  std::fclose(in);
  return std::fclose(out) == 0 ? 0 : 2;
}
