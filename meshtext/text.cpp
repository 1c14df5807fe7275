#include "meshtext/text.h"

#include <cstring>

namespace meshtext {

void PaddedText::assign(std::string_view text) {
  std::memcpy(reserve(text.size()), text.data(), text.size());
  seal(text.size());
}

char* PaddedText::reserve(std::size_t capacity) {
  if (bytes_.size() < capacity + textPadding) bytes_.resize(capacity + textPadding);
  return bytes_.data();
}

void PaddedText::seal(std::size_t length) noexcept {
  assert(length + textPadding <= bytes_.size() || (length == 0 && bytes_.empty()));
  size_ = length;
  if (!bytes_.empty()) std::memset(bytes_.data() + length, 0, textPadding);
}

}  // namespace meshtext
