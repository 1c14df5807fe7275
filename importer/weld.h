// Finding the vertices that are one: keys equal bit for bit, numbered in the order they first come.
#pragma once

#include <cstddef>
#include <cstdint>

namespace importer {

// Numbers `count` keys of `words` 32-bit words each (`keys`, one after another, of any type) so
// that equal keys, bit for bit, share a number, and the numbers go up in the order each key first
// comes: `remap[i]` is key i's. Returns how many distinct keys there are. Throws std::bad_alloc
// when memory runs out.
std::size_t numberDistinct(const void* keys, std::size_t count, std::size_t words,
                           std::uint32_t* remap);

}  // namespace importer
