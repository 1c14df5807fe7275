// Writes the table of expected conversions that every host's tests compare against: tokens of
// every spelling, near-midpoint decimals included, with what glibc's strtod and strtol (saturated
// to 32 bits) make of them. Run on a glibc host; its output is tests/golden/numbers.tsv.
//
//   make-number-table > tests/golden/numbers.tsv
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

std::mt19937_64 rng(20261208);
std::uint64_t pick(std::uint64_t n) { return rng() % n; }
std::string digits(std::uint64_t n) {
  std::string s;
  while (n--) s += char('0' + pick(10));
  return s;
}
std::string oneOf(const char* choices) {
  return std::string(1, choices[pick(std::strlen(choices))]);
}

void row(const std::string& token) {
  char* end = nullptr;
  double value = std::strtod(token.c_str(), &end);
  float single = static_cast<float>(value);
  std::uint64_t doubleBits;
  std::uint32_t floatBits;
  std::memcpy(&doubleBits, &value, sizeof doubleBits);
  std::memcpy(&floatBits, &single, sizeof floatBits);
  long integer = std::strtol(token.c_str(), nullptr, 10);
  integer = integer > INT32_MAX ? INT32_MAX : integer < INT32_MIN ? INT32_MIN : integer;
  std::printf("%s\t%016llx\t%zu\t%08lx\t%ld\n", token.c_str(), (unsigned long long)doubleBits,
              std::size_t(end - token.c_str()), (unsigned long)floatBits, integer);
}

}  // namespace

int main() {
  const char* words[] = {"inf",     "INF",      "Infinity", "infinit",  "nan",
                         "NaN",     "nan(",     "nan()",    "nan(123)", "nan(0x7ffffffffffff)",
                         "nan(_a)", "nan(077)", "in",       "x"};
  for (int i = 0; i < 3000; ++i) {
    std::string token = pick(4) == 0 ? oneOf("+-") : "";
    switch (pick(6)) {
      case 0:
      case 1:
        token += digits(pick(25));
        if (pick(2)) token += "." + digits(pick(25));
        if (pick(2))
          token += oneOf("eE") + oneOf("+-5") + std::to_string(pick(2) ? pick(40) : pick(700));
        break;
      case 2:  // the spelling the converter takes in place
        token += digits(pick(9)) + (pick(4) ? "." + digits(pick(9)) : "");
        break;
      case 3:
        token += "0" + oneOf("xX");
        for (auto n = pick(20); n > 0; --n) token += oneOf("0123456789abcdefABCDEF.");
        if (pick(2)) token += oneOf("pP") + oneOf("+-1") + std::to_string(pick(1200));
        break;
      case 4:
        token += words[pick(sizeof words / sizeof *words)];
        break;
      default:
        for (auto n = pick(12); n > 0; --n) token += oneOf("0123456789.eE+-xXpPabcdfinIN()_");
    }
    if (!token.empty()) row(token);
  }
  char text[1200];
  for (int i = 0; i < 50; ++i) {  // decimals at, and a hair above, midpoints between doubles
    std::uint64_t bits = rng() & 0x7FEFFFFFFFFFFFFFu;
    if (i % 4 == 0) bits &= 0x000FFFFFFFFFFFFFu;
    double low, high;
    std::uint64_t next = bits + 1;
    std::memcpy(&low, &bits, sizeof low);
    std::memcpy(&high, &next, sizeof high);
    long double midpoint = ((long double)low + (long double)high) / 2;
    int length = std::snprintf(text, sizeof text, "%.800Le", midpoint);
    std::string exact(text, std::size_t(length));
    std::size_t e = exact.find('e');
    row(exact.substr(0, e).substr(0, exact.find_last_not_of('0', e - 1) + 1) + exact.substr(e));
    row(exact.substr(0, e) + "1" + exact.substr(e));
  }
  for (int i = 0; i < 1500; ++i) {  // decimals near midpoints between floats
    std::uint32_t bits = std::uint32_t(rng()) & 0x7F7FFFFEu;
    float low, high;
    std::uint32_t next = bits + 1;
    std::memcpy(&low, &bits, sizeof low);
    std::memcpy(&high, &next, sizeof high);
    double midpoint = ((double)low + (double)high) / 2;
    double value = i % 3 == 0 ? midpoint : std::nextafter(midpoint, i % 3 == 1 ? 0.0 : 1e300);
    std::snprintf(text, sizeof text, i % 2 ? "%.25e" : "%.17g", value);
    row(text);
    std::snprintf(text, sizeof text, "%.*f", int(pick(8)), midpoint);
    row(text);
  }
  return 0;
}
