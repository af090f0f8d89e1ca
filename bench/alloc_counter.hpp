// Heap usage of the benchmark program, counted by the replaced global
// operator new / operator delete in alloc_counter.cpp. Every allocation is
// counted; live bytes only while a HeapTracking scope is open.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace bench {

// Allocation requests of this many bytes or more share the last size class.
inline constexpr std::size_t kLargeAllocation = 1024;

// What the program holds on the heap at one moment, in requested bytes
// (allocator bookkeeping and rounding not included); the live figures cover
// the blocks allocated since the open HeapTracking scope began.
struct HeapSnapshot {
  std::int64_t bytes = 0;
  std::int64_t allocations = 0;
  std::int64_t allocations_ever = 0;  // every allocation made so far, freed or not
  // Live allocations by requested size; index kLargeAllocation counts every
  // request of kLargeAllocation bytes or more.
  std::array<std::int64_t, kLargeAllocation + 1> by_size{};
};

// While it exists, the blocks allocated are recorded with their sizes, and
// snapshots report the live heap of those blocks. Opening one starts the live
// figures from zero; at most one is open at a time.
class HeapTracking {
 public:
  HeapTracking();
  HeapTracking(const HeapTracking&) = delete;
  HeapTracking& operator=(const HeapTracking&) = delete;
  ~HeapTracking();
};

HeapSnapshot TakeHeapSnapshot();

// later - earlier, entry by entry.
HeapSnapshot Difference(const HeapSnapshot& later, const HeapSnapshot& earlier);

}  // namespace bench
