// Replaces the global allocation functions so that the benchmark can tell how
// many bytes a document holds. Outside a HeapTracking scope an allocation is a
// plain malloc plus one counter increment, so that the timed cases measure the
// code and not the instrument. Inside one, every block is recorded with its
// requested size in a side table (allocated with malloc, so that recording
// never recurses into operator new) until it is freed.
#include "alloc_counter.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace bench {
namespace {

// Blocks allocated while tracking, by address: linear probing over a power of
// two slots, kept at most half full; an empty slot has no address.
class BlockTable {
 public:
  BlockTable() = default;
  BlockTable(const BlockTable&) = delete;
  BlockTable& operator=(const BlockTable&) = delete;
  ~BlockTable() { std::free(m_slots); }

  bool insert(const void* block, std::size_t size) {
    if (2 * (m_count + 1) > m_capacity && !grow()) return false;
    place(block, size);
    ++m_count;
    return true;
  }

  // The size recorded for `block`, which is forgotten; false when it is not recorded.
  bool erase(const void* block, std::size_t& size) {
    if (m_capacity == 0) return false;
    std::size_t i = home(block);
    for (; m_slots[i].block != block; i = next(i)) {
      if (m_slots[i].block == nullptr) return false;
    }
    size = m_slots[i].size;
    // Backward-shift deletion: move later members of the probe run into the
    // hole wherever their home allows, so that no search stops early.
    for (std::size_t j = next(i);; j = next(j)) {
      if (m_slots[j].block == nullptr) break;
      const std::size_t h = home(m_slots[j].block);
      const bool movable = (j > i) ? (h <= i || h > j) : (h <= i && h > j);
      if (movable) {
        m_slots[i] = m_slots[j];
        i = j;
      }
    }
    m_slots[i] = Slot{};
    --m_count;
    return true;
  }

  void clear() noexcept {
    std::free(m_slots);
    m_slots = nullptr;
    m_capacity = 0;
    m_count = 0;
  }

 private:
  struct Slot {
    const void* block = nullptr;
    std::size_t size = 0;
  };

  std::size_t home(const void* block) const noexcept {
    // Fibonacci hashing of the address; blocks are at least 16-byte aligned.
    const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(block) >> 4);
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> 20) & (m_capacity - 1);
  }
  std::size_t next(std::size_t i) const noexcept { return (i + 1) & (m_capacity - 1); }

  void place(const void* block, std::size_t size) noexcept {
    std::size_t i = home(block);
    while (m_slots[i].block != nullptr) i = next(i);
    m_slots[i] = Slot{block, size};
  }

  bool grow() {
    const std::size_t capacity = std::max<std::size_t>(1024, 2 * m_capacity);
    auto* slots = static_cast<Slot*>(std::calloc(capacity, sizeof(Slot)));
    if (slots == nullptr) return false;
    Slot* old = m_slots;
    const std::size_t old_capacity = m_capacity;
    m_slots = slots;
    m_capacity = capacity;
    for (std::size_t i = 0; i < old_capacity; ++i) {
      if (old[i].block != nullptr) place(old[i].block, old[i].size);
    }
    std::free(old);
    return true;
  }

  Slot* m_slots = nullptr;
  std::size_t m_capacity = 0;
  std::size_t m_count = 0;
};

HeapSnapshot g_live;
bool g_tracking = false;
BlockTable g_blocks;

void Count(std::size_t size, int sign) {
  g_live.bytes += sign * static_cast<std::int64_t>(size);
  g_live.allocations += sign;
  g_live.by_size[std::min(size, kLargeAllocation)] += sign;
}

void* Allocate(std::size_t size, std::size_t alignment) {
  void* block =
      alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__
          ? std::malloc(size == 0 ? 1 : size)
          : std::aligned_alloc(alignment, (std::max<std::size_t>(size, 1) + alignment - 1) /
                                              alignment * alignment);
  if (block == nullptr) return nullptr;
  ++g_live.allocations_ever;
  if (g_tracking) {
    if (!g_blocks.insert(block, size)) {
      std::free(block);
      return nullptr;
    }
    Count(size, +1);
  }
  return block;
}

// `size` is the requested size when the caller knows it (sized delete), else
// zero. A block allocated before tracking began and freed while it lasts
// lowers the live bytes by the size the caller gives.
void Free(void* block, std::size_t size) {
  if (block == nullptr) return;
  if (g_tracking) {
    std::size_t recorded = 0;
    if (g_blocks.erase(block, recorded)) {
      Count(recorded, -1);
    } else if (size != 0) {
      Count(size, -1);
    }
  }
  std::free(block);
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
  if (void* block = Allocate(size, alignment)) return block;
  throw std::bad_alloc();
}

}  // namespace

HeapTracking::HeapTracking() {
  g_blocks.clear();
  HeapSnapshot fresh;
  fresh.allocations_ever = g_live.allocations_ever;
  g_live = fresh;
  g_tracking = true;
}

HeapTracking::~HeapTracking() {
  g_tracking = false;
  g_blocks.clear();
}

HeapSnapshot TakeHeapSnapshot() { return g_live; }

HeapSnapshot Difference(const HeapSnapshot& later, const HeapSnapshot& earlier) {
  HeapSnapshot d;
  d.bytes = later.bytes - earlier.bytes;
  d.allocations = later.allocations - earlier.allocations;
  d.allocations_ever = later.allocations_ever - earlier.allocations_ever;
  for (std::size_t i = 0; i < d.by_size.size(); ++i) {
    d.by_size[i] = later.by_size[i] - earlier.by_size[i];
  }
  return d;
}

}  // namespace bench

using bench::AllocateOrThrow;
using bench::Free;

namespace {

constexpr std::size_t kPlain = 1;  // the default alignment

std::size_t Alignment(std::align_val_t a) { return static_cast<std::size_t>(a); }

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size, kPlain); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size, kPlain); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return bench::Allocate(size, kPlain);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return bench::Allocate(size, kPlain);
}
void* operator new(std::size_t size, std::align_val_t a) {
  return AllocateOrThrow(size, Alignment(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return AllocateOrThrow(size, Alignment(a));
}

void operator delete(void* p) noexcept { Free(p, 0); }
void operator delete[](void* p) noexcept { Free(p, 0); }
void operator delete(void* p, std::size_t size) noexcept { Free(p, size); }
void operator delete[](void* p, std::size_t size) noexcept { Free(p, size); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p, 0); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p, 0); }
void operator delete(void* p, std::align_val_t) noexcept { Free(p, 0); }
void operator delete[](void* p, std::align_val_t) noexcept { Free(p, 0); }
void operator delete(void* p, std::size_t size, std::align_val_t) noexcept { Free(p, size); }
void operator delete[](void* p, std::size_t size, std::align_val_t) noexcept { Free(p, size); }
