#include "meshtext/numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "meshtext/batch.h"
#include "meshtext/summary.h"
#include "meshtext/text.h"
#include "pieces.h"
#include "support.h"

using meshtext::parseCoordinateBits;
using meshtext::parseDouble;
using meshtext::parseInteger;
using testing_support::expectSameInPieces;

namespace {

struct IntegerCase {
  const char* token;
  std::int32_t value;
};

TEST(Integers, ReadLikeStrtolAndSaturateAtTheInt32Bounds) {
  const IntegerCase cases[] = {
      {"0", 0},
      {"42", 42},
      {"+15", 15},
      {"-2", -2},
      {"7x", 7},
      {"12.9", 12},
      {"0x10", 0},
      {"", 0},
      {"-", 0},
      {"+-1", 0},
      {"abc", 0},
      {"007", 7},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      {"99999999999999999999999", INT32_MAX},
      {"-99999999999999999999999", INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(parseInteger(c.token), c.value) << c.token;
}

TEST(Integers, IndicesKeepTheirLow16Bits) {
  EXPECT_EQ(meshtext::toIndex(65535), 0xFFFF);
  EXPECT_EQ(meshtext::toIndex(-1), 0xFFFF);
  EXPECT_EQ(meshtext::toIndex(65536), 0);
  EXPECT_EQ(meshtext::toIndex(-2), 0xFFFE);
  EXPECT_EQ(meshtext::toIndex(INT32_MIN), 0);
  EXPECT_TRUE(meshtext::fitsIndex(65535));
  EXPECT_FALSE(meshtext::fitsIndex(65536));
  EXPECT_FALSE(meshtext::fitsIndex(-1));
}

struct CoordinateCase {
  const char* token;
  std::uint32_t bits;  // the binary32 stored for it, the same on every host
  std::size_t consumed;
};

TEST(Coordinates, GiveTheSameBitsOnEveryHost) {
  const CoordinateCase cases[] = {
      {"0.1", 0x3DCCCCCD, 3},
      {"1e-50", 0x00000000, 5},
      {"3abc", 0x40400000, 1},
      {"-0", 0x80000000, 2},
      {"+.5", 0x3F000000, 3},
      {"1.", 0x3F800000, 2},
      {"-2.5e1", 0xC1C80000, 6},
      {"1e", 0x3F800000, 1},
      {"1e+", 0x3F800000, 1},
      {".", 0x00000000, 0},
      {"-", 0x00000000, 0},
      {"e5", 0x00000000, 0},
      {"inf", 0x7F800000, 3},
      {"-Infinity", 0xFF800000, 9},
      {"infin", 0x7F800000, 3},
      {"NaN", 0x7FC00000, 3},
      {"-nan", 0xFFC00000, 4},
      {"nan(abc_1)", 0x7FC00000, 10},
      {"nan(a b)", 0x7FC00000, 3},
      {"nan(0xfffffffffffff)", 0x7FFFFFFF, 20},
      {"nan(0x7ffffffffffff)", 0x7FFFFFFF, 20},
      {"0x1p3", 0x41000000, 5},
      {"0X1.8P1", 0x40400000, 7},
      {"0x", 0x00000000, 1},
      {"-0x.p1", 0x80000000, 2},
      {"0x1p", 0x3F800000, 3},
      {"0x1p-1075", 0x00000000, 9},
      {"1e400", 0x7F800000, 5},
      {"-1e-400", 0x80000000, 7},
      {"3.4028235e38", 0x7F7FFFFF, 12},
      {"3.4028236e38", 0x7F800000, 12},
      {"1.4e-45", 0x00000001, 7},
      {"7e-46", 0x00000000, 5},
      {"123456.789012", 0x47F12065, 13},
      // Midway between 1 and the next float: rounding the double to float ties to even, where a
      // direct conversion to float would round up.
      {"1.0000000596046447753906250000001", 0x3F800000, 33},
      // The double next above that midpoint rounds up.
      {"1.0000000596046449", 0x3F800001, 18},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseCoordinateBits(c.token), c.bits) << c.token;
    EXPECT_EQ(parseDouble(c.token).consumed, c.consumed) << c.token;
  }
}

TEST(Coordinates, ExtremeTokensStayExactAndFast) {
  std::string zeros(400, '0');
  EXPECT_EQ(parseCoordinateBits("0." + zeros + "1e401"), 0x3F800000u);
  EXPECT_EQ(parseCoordinateBits("1" + zeros + "e-400"), 0x3F800000u);
  EXPECT_EQ(parseCoordinateBits("1e99999999999999999999999"), 0x7F800000u);
  EXPECT_EQ(parseCoordinateBits("0e99999999999999999999999"), 0x00000000u);
  EXPECT_EQ(parseCoordinateBits("0x1p-99999999999999999999"), 0x00000000u);
  EXPECT_EQ(parseCoordinateBits(std::string(1 << 20, '1') + "e-1048575"), 0x3F8E38E4u);
}

#ifdef __GLIBC__
// The reference is glibc's strtod (correctly rounded) and strtol, saturated to 32 bits.
class AgainstTheCLibrary : public ::testing::Test {
 protected:
  void expectSame(const std::string& token) {
    char* end = nullptr;
    double reference = std::strtod(token.c_str(), &end);
    std::uint64_t referenceBits;
    std::memcpy(&referenceBits, &reference, sizeof referenceBits);
    auto referenceFloat = static_cast<float>(reference);
    std::uint32_t referenceFloatBits;
    std::memcpy(&referenceFloatBits, &referenceFloat, sizeof referenceFloatBits);
    meshtext::DoubleParse mine = parseDouble(token);
    ASSERT_EQ(mine.bits, referenceBits) << token;
    ASSERT_EQ(mine.consumed, std::size_t(end - token.c_str())) << token;
    ASSERT_EQ(parseCoordinateBits(token), referenceFloatBits) << token;
    long integer = std::strtol(token.c_str(), nullptr, 10);
    integer = integer > INT32_MAX ? INT32_MAX : integer < INT32_MIN ? INT32_MIN : integer;
    ASSERT_EQ(parseInteger(token), integer) << token;
    expectSameInPieces(token, std::size_t(rng()));
  }

  std::string digits(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += char('0' + pick(10));
    return s;
  }
  std::string oneOf(const char* choices) {
    return std::string(1, choices[pick(std::strlen(choices))]);
  }
  std::uint64_t pick(std::uint64_t n) { return rng() % n; }

  std::mt19937_64 rng{20261208};
};

TEST_F(AgainstTheCLibrary, GeneratedTokensOfEverySpelling) {
  const char* words[] = {"inf",     "INF",      "Infinity", "infinit",  "nan",
                         "NaN",     "nan(",     "nan()",    "nan(123)", "nan(0x7ffffffffffff)",
                         "nan(_a)", "nan(077)", "in",       "x"};
  for (int i = 0; i < 200000 && !HasFatalFailure(); ++i) {
    std::string token = pick(4) == 0 ? oneOf("+-") : "";
    switch (pick(5)) {
      case 0:
      case 1:
        token += digits(int(pick(25)));
        if (pick(2)) token += "." + digits(int(pick(25)));
        if (pick(2))
          token += oneOf("eE") + oneOf("+-5") + std::to_string(pick(2) ? pick(40) : pick(700));
        break;
      case 2:
        token += "0" + oneOf("xX");
        for (auto n = pick(20); n > 0; --n) token += oneOf("0123456789abcdefABCDEF.");
        if (pick(2)) token += oneOf("pP") + oneOf("+-1") + std::to_string(pick(1200));
        break;
      case 3:
        token += words[pick(sizeof words / sizeof *words)];
        break;
      default:
        for (auto n = pick(12); n > 0; --n) token += oneOf("0123456789.eE+-xXpPabcdfinIN()_");
    }
    expectSame(token);
  }
}

TEST_F(AgainstTheCLibrary, DecimalsNearDoubleAndFloatMidpoints) {
  char text[1200];
  for (int i = 0; i < 3000 && !HasFatalFailure(); ++i) {
    std::uint64_t bits = rng() & 0x7FEFFFFFFFFFFFFFu;
    if (i % 4 == 0) bits &= 0x000FFFFFFFFFFFFFu;  // subnormals
    double low, high;
    std::uint64_t next = bits + 1;
    std::memcpy(&low, &bits, sizeof low);
    std::memcpy(&high, &next, sizeof high);
    long double midpoint =
        ((long double)low + (long double)high) / 2;  // exact in 64-bit long double
    int length = std::snprintf(text, sizeof text, "%.1100Le", midpoint);
    std::string exact(text, std::size_t(length));
    std::size_t e = exact.find('e');
    expectSame(exact);
    expectSame(exact.substr(0, 900) + "1" + exact.substr(e));  // a hair above, past 800 digits
    std::snprintf(text, sizeof text, "%.*Le", int(pick(30)) + 15, midpoint);
    expectSame(text);
  }
  for (int i = 0; i < 30000 && !HasFatalFailure(); ++i) {
    std::uint32_t bits = std::uint32_t(rng()) & 0x7F7FFFFEu;
    float low, high;
    std::uint32_t next = bits + 1;
    std::memcpy(&low, &bits, sizeof low);
    std::memcpy(&high, &next, sizeof high);
    double midpoint = ((double)low + (double)high) / 2;  // exact in double
    for (double value :
         {std::nextafter(midpoint, 0.0), midpoint, std::nextafter(midpoint, 1e300)}) {
      std::snprintf(text, sizeof text, "%.25e", value);
      expectSame(text);
      std::snprintf(text, sizeof text, "%.9e", value);
      expectSame(text);
      std::snprintf(text, sizeof text, "%a", value);
      expectSame(text);
    }
  }
}
#endif

}  // namespace
