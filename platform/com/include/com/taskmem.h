// The runtime's task allocator: memory that one side of an interface allocates and the other
// frees (the byte block of the serial control's ReadBinary, for instance). Blocks from
// taskMemAlloc must be freed with taskMemFree and nothing else.
#pragma once

#include <cstddef>

namespace com {

// A block of `size` bytes (at least one byte for size 0), or nullptr when out of memory.
void* taskMemAlloc(std::size_t size);
// Frees a block of taskMemAlloc; nullptr is allowed.
void taskMemFree(void* block);

}  // namespace com
