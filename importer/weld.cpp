#include "weld.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

// Written here rather than taken from meshoptimizer, whose meshopt_generateVertexRemap numbers
// keys the same way: it works on one thread, and on a large model whose every corner comes as a
// vertex of its own, welding them took a fifth of the import. Here each thread takes the keys
// whose hash falls to it and finds the first of each; numbering them in the order they first come
// is then one cheap pass.

namespace importer {
namespace {

constexpr std::size_t maxWords = 4;       // a position and a colour
constexpr unsigned maxThreads = 8;        // each thread reads every key: more gain little
constexpr std::size_t fewKeys = 1 << 16;  // fewer are numbered sooner than a thread starts
constexpr std::uint64_t empty = ~std::uint64_t{0};

// MurmurHash3's 32-bit mixing of each word and its finaliser (Austin Appleby, public domain):
// keys that differ in any bit spread evenly, over the threads by the hash's high bits and over a
// table by its low bits.
std::uint32_t hashOf(const unsigned char* key, std::size_t words) {
  std::uint32_t h = 0;
  for (std::size_t i = 0; i < words; ++i) {
    std::uint32_t k;
    std::memcpy(&k, key + 4 * i, 4);
    k *= 0xcc9e2d51u;
    k = (k << 15) | (k >> 17);
    h ^= k * 0x1b873593u;
    h = ((h << 13) | (h >> 19)) * 5 + 0xe6546b64u;
  }
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  return h ^ (h >> 16);
}

bool sameKey(const unsigned char* a, const unsigned char* b, std::size_t words) {
  return std::memcmp(a, b, 4 * words) == 0;
}

// An open-addressed table of keys met, each slot the key's hash above the index of its first.
// The hash is kept so that a slot of another key is passed by without reading that key, and so
// that growing reads no key at all.
class FirstSeen {
 public:
  FirstSeen(const unsigned char* keys, std::size_t words, std::size_t expected)
      : keys_(keys), words_(words) {
    std::size_t size = 1024;
    while (size < 2 * expected) size *= 2;
    slots_.assign(size, empty);
  }

  // The index of the first key equal to key `i`, `i` itself if there is none before it.
  std::uint32_t firstOf(std::uint32_t i, std::uint32_t hash) {
    const unsigned char* key = keys_ + 4 * std::size_t(i) * words_;
    for (std::size_t slot = hash & (slots_.size() - 1);; slot = (slot + 1) & (slots_.size() - 1)) {
      const std::uint64_t entry = slots_[slot];
      if (entry == empty) {
        slots_[slot] = std::uint64_t(hash) << 32 | i;
        if (++filled_ * 2 > slots_.size()) grow();  // half full at most: probes stay short
        return i;
      }
      const auto first = std::uint32_t(entry);
      if (std::uint32_t(entry >> 32) == hash &&
          sameKey(keys_ + 4 * std::size_t(first) * words_, key, words_))
        return first;
    }
  }

 private:
  void grow() {
    std::vector<std::uint64_t> old(2 * slots_.size(), empty);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint64_t entry : old) {
      if (entry == empty) continue;
      std::size_t slot = std::size_t(entry >> 32) & mask;
      while (slots_[slot] != empty) slot = (slot + 1) & mask;
      slots_[slot] = entry;
    }
  }

  const unsigned char* keys_;
  std::size_t words_;
  std::vector<std::uint64_t> slots_;
  std::size_t filled_ = 0;
};

unsigned shareOf(std::uint32_t hash, unsigned shares) {
  return unsigned(std::uint64_t(hash) * shares >> 32);
}

// The index of the first key equal to each key whose hash falls to `share` of `shares`, in the
// order of the keys. Kept apart from the other shares' (rather than written to one array that
// they all write to) so that the threads never write to one cache line.
std::vector<std::uint32_t> findFirsts(const unsigned char* keys, std::size_t count,
                                      std::size_t words, unsigned share, unsigned shares) {
  // Most models have several corners at each position: a quarter of a share is a fair start.
  FirstSeen seen(keys, words, count / shares / 4);
  std::vector<std::uint32_t> firsts;
  firsts.reserve(count / shares + count / shares / 8);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t hash = hashOf(keys + 4 * i * words, words);
    if (shareOf(hash, shares) == share) firsts.push_back(seen.firstOf(std::uint32_t(i), hash));
  }
  return firsts;
}

}  // namespace

std::size_t numberDistinct(const void* keyBytes, std::size_t count, std::size_t words,
                           std::uint32_t* remap, unsigned threads) {
  const auto* keys = static_cast<const unsigned char*>(keyBytes);
  assert(words >= 1 && words <= maxWords && count < empty >> 32);
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = count < fewKeys ? 1 : std::min(threads, maxThreads);
  std::vector<std::vector<std::uint32_t>> firsts(threads);
  std::vector<std::exception_ptr> failures(threads);
  std::vector<std::thread> helpers;
  unsigned share = 1;
  for (; share < threads; ++share) {
    try {
      helpers.emplace_back([&, share] {
        try {
          firsts[share] = findFirsts(keys, count, words, share, threads);
        } catch (...) {
          failures[share] = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      break;  // no thread to be had: this one does the shares left
    }
  }
  try {
    firsts[0] = findFirsts(keys, count, words, 0, threads);
    for (unsigned rest = share; rest < threads; ++rest)
      firsts[rest] = findFirsts(keys, count, words, rest, threads);
  } catch (...) {
    failures[0] = std::current_exception();
  }
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
  // Each key's first from its share's list, in turn; a first comes before the keys equal to it,
  // so it has its number by the time they are reached.
  std::vector<std::size_t> taken(threads);
  std::uint32_t next = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned s = threads == 1 ? 0 : shareOf(hashOf(keys + 4 * i * words, words), threads);
    const std::uint32_t first = firsts[s][taken[s]++];
    remap[i] = first == i ? next++ : remap[first];
  }
  return next;
}

}  // namespace importer
