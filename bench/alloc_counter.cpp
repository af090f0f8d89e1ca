// Replaces the global allocation functions so that the benchmark can tell how
// many bytes a document holds. Every block carries a small header with its
// requested size, because unsized operator delete is not told the size.
#include "alloc_counter.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace bench {
namespace {

// The header keeps the default new alignment for the block that follows it.
constexpr std::size_t kHeader = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

HeapSnapshot g_live;

void Count(std::size_t size, int sign) {
  g_live.bytes += sign * static_cast<std::int64_t>(size);
  g_live.allocations += sign;
  if (sign > 0) ++g_live.allocations_ever;
  g_live.by_size[std::min(size, kLargeAllocation)] += sign;
}

// `header` is at least kHeader, a multiple of `alignment`, and has room for
// the size just in front of the block handed out.
void* Allocate(std::size_t size, std::size_t alignment, std::size_t header) {
  void* raw =
      alignment <= kHeader
          ? std::malloc(size + header)
          : std::aligned_alloc(alignment, (size + header + alignment - 1) / alignment * alignment);
  if (raw == nullptr) return nullptr;
  auto* block = static_cast<unsigned char*>(raw) + header;
  reinterpret_cast<std::size_t*>(block)[-1] = size;
  Count(size, +1);
  return block;
}

void Free(void* block, std::size_t header) {
  if (block == nullptr) return;
  Count(reinterpret_cast<std::size_t*>(block)[-1], -1);
  std::free(static_cast<unsigned char*>(block) - header);
}

std::size_t HeaderFor(std::align_val_t alignment) {
  return std::max(kHeader, static_cast<std::size_t>(alignment));
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment, std::size_t header) {
  if (void* block = Allocate(size, alignment, header)) return block;
  throw std::bad_alloc();
}

}  // namespace

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
using bench::HeaderFor;

void* operator new(std::size_t size) { return AllocateOrThrow(size, 1, bench::kHeader); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size, 1, bench::kHeader); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return bench::Allocate(size, 1, bench::kHeader);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return bench::Allocate(size, 1, bench::kHeader);
}
void* operator new(std::size_t size, std::align_val_t a) {
  return AllocateOrThrow(size, static_cast<std::size_t>(a), HeaderFor(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return AllocateOrThrow(size, static_cast<std::size_t>(a), HeaderFor(a));
}

void operator delete(void* p) noexcept { Free(p, bench::kHeader); }
void operator delete[](void* p) noexcept { Free(p, bench::kHeader); }
void operator delete(void* p, std::size_t) noexcept { Free(p, bench::kHeader); }
void operator delete[](void* p, std::size_t) noexcept { Free(p, bench::kHeader); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p, bench::kHeader); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p, bench::kHeader); }
void operator delete(void* p, std::align_val_t a) noexcept { Free(p, HeaderFor(a)); }
void operator delete[](void* p, std::align_val_t a) noexcept { Free(p, HeaderFor(a)); }
void operator delete(void* p, std::size_t, std::align_val_t a) noexcept { Free(p, HeaderFor(a)); }
void operator delete[](void* p, std::size_t, std::align_val_t a) noexcept { Free(p, HeaderFor(a)); }
