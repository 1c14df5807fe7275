#include "meshtext/text.h"

#include <cstring>

namespace meshtext {

void PaddedText::assign(std::string_view text) {
  std::memcpy(reserve(text.size()), text.data(), text.size());
  seal(text.size());
}

char* PaddedText::reserve(std::size_t capacity) {
  if (capacity > capacity_ || !bytes_) {  // never null, even for no text
    std::unique_ptr<char[]> grown(new char[capacity + textPadding]);
    if (bytes_) std::memcpy(grown.get(), bytes_.get(), capacity_);
    bytes_ = std::move(grown);
    capacity_ = capacity;
  }
  return bytes_.get();
}

void PaddedText::seal(std::size_t length) noexcept {
  assert(length <= capacity_ || (length == 0 && !bytes_));
  size_ = length;
  if (bytes_) std::memset(bytes_.get() + length, 0, textPadding);
}

}  // namespace meshtext
