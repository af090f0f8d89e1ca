// A hint to the memory system that the program will soon read an address.
#pragma once

namespace depman {

// Starts loading the cache line at `p` without waiting for it. Loops over
// arrays of pointers use it some places ahead, so that the waits for what the
// pointers point to overlap instead of following one another. A hint only: it
// never faults, whatever `p` is.
//
// Always inlined, as must be any function made only of prefetches: GCC counts
// such a function as free of effects and drops the calls to it.
[[gnu::always_inline]] inline void Prefetch(const void* p) noexcept {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  static_cast<void>(p);
#endif
}

}  // namespace depman
