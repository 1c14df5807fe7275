#include "meshtext/reader.h"

#include <cstring>

#include "meshtext/numbers.h"
#include "words.h"

namespace meshtext {
namespace {

constexpr std::uint64_t powersOf10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// How many of the word's bytes, from the first, are decimal digits.
inline int digitRun(std::uint64_t word) noexcept {
  std::uint64_t x = word ^ 0x3030303030303030u;  // digits become 0..9
  std::uint64_t nonDigit =
      (((x & 0x7F7F7F7F7F7F7F7Fu) + 0x7676767676767676u) | x) & 0x8080808080808080u;
  return nonDigit ? trailingZeros(nonDigit) >> 3 : 8;
}

// The value of the word's first `count` bytes (1 to 8), all decimal digits: the digits are moved
// to the end of the word, behind zeros, and all eight combined in three multiplications.
inline std::uint32_t digitsValue(std::uint64_t word, int count) noexcept {
  std::uint64_t x = (word << (8 * (8 - count))) & 0x0F0F0F0F0F0F0F0Fu;
  x = (x * 2561) >> 8;
  x = ((x & 0x00FF00FF00FF00FFu) * 6553601) >> 16;
  return std::uint32_t(((x & 0x0000FFFF0000FFFFu) * 42949672960001u) >> 32);
}

// The common coordinate spelling, [sign]digits[.digits] with at most 7 digits on either side of
// the point, converted in place: one exact division rounds correctly, and the cast to float
// rounds that double the way the general conversion does (both to nearest, ties to even). Returns
// false, for the general conversion to take over, on any other spelling. Ends at the first
// character after the digits; the caller checks that it ends the token.
inline bool quickCoordinate(const char*& p, float& value) noexcept {
  const char* q = p;
  bool negative = *q == '-';
  if (*q == '-' || *q == '+') ++q;
  std::uint64_t word = load8(q);
  int digits = digitRun(word);
  if (digits == 8) return false;
  std::uint64_t mantissa = digits ? digitsValue(word, digits) : 0;
  q += digits;
  int decimals = 0;
  if (*q == '.') {
    word = load8(++q);
    decimals = digitRun(word);
    if (decimals == 8) return false;
    if (decimals) mantissa = mantissa * powersOf10[decimals] + digitsValue(word, decimals);
    q += decimals;
  }
  // At most 14 digits: the mantissa is below 2^53 and exact as a double.
  if (!exactDoubleArithmetic || digits + decimals == 0) return false;
  double magnitude = double(mantissa) / exactPowersOf10[decimals];
  value = static_cast<float>(negative ? -magnitude : magnitude);
  p = q;
  return true;
}

// The common index spelling, [sign] and at most 7 digits, far inside the int32 range.
inline bool quickInteger(const char*& p, std::int32_t& value) noexcept {
  const char* q = p;
  bool negative = *q == '-';
  if (*q == '-' || *q == '+') ++q;
  std::uint64_t word = load8(q);
  int digits = digitRun(word);
  if (digits == 0 || digits == 8) return false;
  auto magnitude = std::int32_t(digitsValue(word, digits));
  value = negative ? -magnitude : magnitude;
  p = q + digits;
  return true;
}

}  // namespace

Reader::Reader(std::streambuf& input, std::size_t blockSize)
    : input_(&input), blockSize_(blockSize ? blockSize : 1), buffer_(blockSize_ + slack, '\0') {
  data_ = buffer_.data();
}

Reader::Reader(const char* text, std::size_t length)
    : input_(nullptr), blockSize_(0), data_(text), end_(length), ended_(true) {}

// Moves the tokens of the record being read (and the start of a token cut by the end of the
// buffer) to the front, then reads the next block behind them. Only tokens are kept, never the
// whitespace between them, so memory stays bounded by the record's own length.
bool Reader::refill(std::size_t* starts, const std::size_t* lengths, std::size_t found,
                    std::size_t& partialStart) {
  if (ended_) return false;
  char* data = buffer_.data();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < found; ++i) {
    std::memmove(data + kept, data + starts[i], lengths[i]);
    starts[i] = kept;
    kept += lengths[i];
  }
  std::size_t partialLength = end_ - partialStart;
  std::memmove(data + kept, data + partialStart, partialLength);
  partialStart = kept;
  kept += partialLength;
  pos_ = end_ = kept;

  // Grow geometrically, so that a giant token costs linear time to read.
  std::size_t wantedFree = kept > blockSize_ ? kept : blockSize_;
  if (buffer_.size() - slack - kept < wantedFree) buffer_.resize(kept + wantedFree + slack);

  std::streamsize got =
      input_->sgetn(buffer_.data() + kept, std::streamsize(buffer_.size() - slack - kept));
  if (got > 0) end_ += std::size_t(got);
  buffer_[end_] = '\0';
  data_ = buffer_.data();
  if (got <= 0) ended_ = true;
  return got > 0;
}

std::size_t Reader::readTokens(std::string_view* tokens, std::size_t wanted) {
  std::size_t starts[3];
  std::size_t lengths[3];
  std::size_t found = 0;
  if (wanted > 3) wanted = 3;
  while (found < wanted) {
    for (;;) {
      while (pos_ < end_ && isSpace(data_[pos_])) ++pos_;
      if (pos_ < end_) break;
      std::size_t none = end_;
      if (!refill(starts, lengths, found, none)) goto done;
    }
    std::size_t start = pos_;
    for (;;) {
      while (pos_ < end_ && !isSpace(data_[pos_])) ++pos_;
      if (pos_ < end_ || !refill(starts, lengths, found, start)) break;
    }
    starts[found] = start;
    lengths[found] = pos_ - start;
    ++found;
  }
done:
  for (std::size_t i = 0; i < found; ++i)
    tokens[i] = std::string_view(data_ + starts[i], lengths[i]);
  return found;
}

std::size_t Reader::readCounts(Counts& counts) {
  std::string_view text[2];
  std::size_t found = readTokens(text, 2);
  counts.vertexCount = found > 0 ? parseInteger(text[0]) : 0;
  counts.faceCount = found > 1 ? parseInteger(text[1]) : 0;
  return found;
}

// Reads a whole vertex from the buffer as it stands, converting while it scans. Gives up, having
// consumed nothing, when the record runs into the end of the buffer: readTokens then refills.
bool Reader::quickVertex(Vertex& vertex) {
  const char* p = data_ + pos_;
  const char* end = data_ + end_;
  float* values[3] = {&vertex.x, &vertex.y, &vertex.z};
  for (int k = 0; k < 3; ++k) {
    while (isSpace(*p)) ++p;
    const char* start = p;
    if (!quickCoordinate(p, *values[k]) || !isSpace(*p)) {
      p = start;
      while (!isSpace(*p) && p != end) ++p;
      if (p == end) return false;
      *values[k] = parseCoordinate(std::string_view(start, std::size_t(p - start)));
    }
    vertex.text[k] = std::string_view(start, std::size_t(p - start));
  }
  pos_ = std::size_t(p - data_);
  return true;
}

bool Reader::quickFace(Face& face) {
  const char* p = data_ + pos_;
  const char* end = data_ + end_;
  for (int k = 0; k < 3; ++k) {
    while (isSpace(*p)) ++p;
    const char* start = p;
    if (!quickInteger(p, face.value[k]) || !isSpace(*p)) {
      p = start;
      while (!isSpace(*p) && p != end) ++p;
      if (p == end) return false;
      face.value[k] = parseInteger(std::string_view(start, std::size_t(p - start)));
    }
    face.text[k] = std::string_view(start, std::size_t(p - start));
    face.index[k] = toIndex(face.value[k]);
  }
  pos_ = std::size_t(p - data_);
  return true;
}

std::size_t Reader::readVertex(Vertex& vertex) {
  if (quickVertex(vertex)) return 3;
  std::size_t found = readTokens(vertex.text.data(), 3);
  if (found == 3) {
    vertex.x = parseCoordinate(vertex.text[0]);
    vertex.y = parseCoordinate(vertex.text[1]);
    vertex.z = parseCoordinate(vertex.text[2]);
  }
  return found;
}

std::size_t Reader::readFace(Face& face) {
  if (quickFace(face)) return 3;
  std::size_t found = readTokens(face.text.data(), 3);
  if (found == 3) {
    for (std::size_t i = 0; i < 3; ++i) {
      face.value[i] = parseInteger(face.text[i]);
      face.index[i] = toIndex(face.value[i]);
    }
  }
  return found;
}

}  // namespace meshtext
