// Text as the conversions in place read it: whitespace-separated tokens in a buffer that may be
// read a little past its end.
#pragma once

#include <cassert>
#include <cstddef>
#include <memory>
#include <string_view>

namespace meshtext {

// The six characters that separate tokens: the blank, and the run of controls from \t to \r
// (\t, \n, \v, \f, \r). Every other test of whitespace, word-at-a-time or vector, is built on
// these three constants.
inline constexpr char blank = ' ';
inline constexpr char firstControlSpace = '\t';
inline constexpr int controlSpaces = 5;

// True for the six characters that separate tokens.
constexpr bool isSpace(char c) noexcept {
  return c == blank || (c >= firstControlSpace && c < firstControlSpace + controlSpaces);
}

// The padding contract of the conversions in place: text[length] is a NUL, which stops every
// scan of whitespace at the end, and `textPadding` bytes from there on are readable, for the
// word-sized and vector loads that look past a token's end.
inline constexpr std::size_t textPadding = 16;

// True when `text` meets the padding contract as far as it can be checked.
inline bool isPadded(const char* text, std::size_t length) noexcept {
  return text != nullptr && text[length] == '\0';
}

// A buffer of text that always meets the padding contract once sealed.
class PaddedText {
 public:
  PaddedText() = default;
  explicit PaddedText(std::string_view text) { assign(text); }

  // Copies `text` and seals it.
  void assign(std::string_view text);

  // Room for `capacity` bytes of text, keeping the bytes already there; returns the buffer. The
  // text is unsealed until seal() is called.
  char* reserve(std::size_t capacity);

  // The text is now data()[0, length), length at most the reserved capacity: writes the NUL and
  // zeros behind it.
  void seal(std::size_t length) noexcept;

  const char* data() const noexcept { return bytes_ ? bytes_.get() : empty_; }
  char* data() noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return size_; }
  std::string_view view() const noexcept { return {data(), size_}; }

 private:
  static constexpr char empty_[textPadding + 1] = {};
  // Not zeroed when made: a large block costs memory only as far as text is read into it.
  std::unique_ptr<char[]> bytes_;
  std::size_t capacity_ = 0;  // bytes_ holds capacity_ + textPadding
  std::size_t size_ = 0;
};

}  // namespace meshtext
