// Unsigned integers of a few thousand bits, on the stack, for the exact decimal conversion.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "rounding.h"

namespace meshtext {

// The largest value the exact conversion builds: 801 significant decimal digits times 5^309, or
// a numerator of 64 bits over 5^1131, each well below 4,096 bits.
class BigUint {
 public:
  static constexpr std::size_t capacity = 128;  // 32-bit limbs

  void mulAdd(std::uint32_t factor, std::uint32_t addend) noexcept {
    std::uint64_t carry = addend;
    for (std::size_t i = 0; i < size_; ++i) {
      std::uint64_t product = std::uint64_t(limbs_[i]) * factor + carry;
      limbs_[i] = std::uint32_t(product);
      carry = product >> 32;
    }
    if (carry) push(std::uint32_t(carry));
  }

  void mulPow5(std::int64_t power) noexcept {
    constexpr std::uint32_t pow5to13 = 1220703125u;
    for (; power >= 13; power -= 13) mulAdd(pow5to13, 0);
    std::uint32_t factor = 1;
    for (; power > 0; --power) factor *= 5;
    mulAdd(factor, 0);
  }

  void shiftLeft(std::int64_t bits) noexcept {
    if (size_ == 0 || bits <= 0) return;
    std::size_t whole = std::size_t(bits / 32);
    unsigned part = unsigned(bits % 32);
    if (part) {
      std::uint32_t carry = 0;
      for (std::size_t i = 0; i < size_; ++i) {
        std::uint32_t next = limbs_[i] >> (32 - part);
        limbs_[i] = (limbs_[i] << part) | carry;
        carry = next;
      }
      if (carry) push(carry);
    }
    assert(size_ + whole <= capacity);
    for (std::size_t i = size_; i-- > 0;) limbs_[i + whole] = limbs_[i];
    for (std::size_t i = 0; i < whole; ++i) limbs_[i] = 0;
    size_ += whole;
  }

  void shiftRightOne() noexcept {
    for (std::size_t i = 0; i < size_; ++i) {
      std::uint32_t high = i + 1 < size_ ? limbs_[i + 1] << 31 : 0u;
      limbs_[i] = (limbs_[i] >> 1) | high;
    }
    trim();
  }

  // Requires *this >= other.
  void subtract(const BigUint& other) noexcept {
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < size_; ++i) {
      std::int64_t diff =
          std::int64_t(limbs_[i]) - borrow - (i < other.size_ ? std::int64_t(other.limbs_[i]) : 0);
      borrow = diff < 0;
      limbs_[i] = std::uint32_t(diff + (borrow << 32));
    }
    trim();
  }

  bool isZero() const noexcept { return size_ == 0; }

  std::int64_t bitLength() const noexcept {
    if (size_ == 0) return 0;
    return std::int64_t(size_) * 32 - (leadingZeros(limbs_[size_ - 1]) - 32);
  }

  // The `count` bits (count <= 64) below bit position `from`, as an integer.
  std::uint64_t bitsBelow(std::int64_t from, int count) const noexcept {
    std::uint64_t result = 0;
    for (std::int64_t i = from - 1; i >= from - count; --i)
      result = (result << 1) | (i >= 0 ? bit(i) : 0u);
    return result;
  }

  // True when any bit below position `from` is set.
  bool anyBelow(std::int64_t from) const noexcept {
    for (std::size_t i = 0; i < size_ && std::int64_t(i) * 32 < from; ++i) {
      std::int64_t width = from - std::int64_t(i) * 32;
      std::uint32_t mask = width >= 32 ? ~0u : ((1u << width) - 1);
      if (limbs_[i] & mask) return true;
    }
    return false;
  }

  friend int compare(const BigUint& a, const BigUint& b) noexcept {
    if (a.size_ != b.size_) return a.size_ < b.size_ ? -1 : 1;
    for (std::size_t i = a.size_; i-- > 0;)
      if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    return 0;
  }

 private:
  void push(std::uint32_t limb) noexcept {
    assert(size_ < capacity);
    limbs_[size_++] = limb;
  }
  unsigned bit(std::int64_t i) const noexcept {
    std::size_t limb = std::size_t(i / 32);
    return limb < size_ ? (limbs_[limb] >> (i % 32)) & 1u : 0u;
  }
  void trim() noexcept {
    while (size_ > 0 && limbs_[size_ - 1] == 0) --size_;
  }

  std::uint32_t limbs_[capacity];  // least significant first, no zero limb on top
  std::size_t size_ = 0;
};

}  // namespace meshtext
