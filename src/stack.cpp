#include "stack.hpp"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <ucontext.h>
#define DEPMAN_STACK_SEGMENTS 1
#endif

#if defined(__SANITIZE_ADDRESS__)
#define DEPMAN_ASAN_FIBERS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DEPMAN_ASAN_FIBERS 1
#endif
#endif

#if defined(DEPMAN_ASAN_FIBERS)
#include <sanitizer/common_interface_defs.h>
#endif

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#define DEPMAN_VALGRIND_STACKS 1
#endif

namespace depman {

#if defined(DEPMAN_STACK_SEGMENTS)
namespace {

// How much of the host's own stack one outermost evaluation may use before
// it moves to segments: little enough for a 1 MiB thread stack.
constexpr std::uintptr_t kHostBudget = 256 * 1024;
// One segment, and the part of it kept free for the frames of one nested
// step (our own and the host action's) between two checks.
constexpr std::size_t kSegmentSize = 1024 * 1024;
constexpr std::uintptr_t kSegmentReserve = 128 * 1024;
// Segments kept per thread for reuse by the next deep evaluation.
constexpr std::size_t kSpareSegments = 4;

// Stacks grow downwards: a nested step moves to a new segment once the
// stack pointer is below this address. Zero outside any evaluation.
thread_local std::uintptr_t t_limit = 0;

std::uintptr_t StackAddress() {
  return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
}

// Sets the limit for the length of a scope.
class LimitScope {
 public:
  explicit LimitScope(std::uintptr_t limit) : m_saved(t_limit) { t_limit = limit; }
  LimitScope(const LimitScope&) = delete;
  LimitScope& operator=(const LimitScope&) = delete;
  ~LimitScope() { t_limit = m_saved; }

 private:
  std::uintptr_t m_saved;
};

// One heap-allocated stack; its pages are touched only as they are used.
class Segment {
 public:
  Segment() : m_memory(new char[kSegmentSize]) {
#if defined(DEPMAN_VALGRIND_STACKS)
    m_valgrind_id = VALGRIND_STACK_REGISTER(m_memory.get(), m_memory.get() + kSegmentSize);
#endif
  }
  Segment(const Segment&) = delete;
  Segment& operator=(const Segment&) = delete;
  ~Segment() {
#if defined(DEPMAN_VALGRIND_STACKS)
    VALGRIND_STACK_DEREGISTER(m_valgrind_id);
#endif
  }

  char* base() const { return m_memory.get(); }

 private:
  std::unique_ptr<char[]> m_memory;
#if defined(DEPMAN_VALGRIND_STACKS)
  unsigned m_valgrind_id = 0;
#endif
};

thread_local std::vector<std::unique_ptr<Segment>> t_spare;

std::unique_ptr<Segment> TakeSegment() {
  if (t_spare.empty()) return std::make_unique<Segment>();
  std::unique_ptr<Segment> segment = std::move(t_spare.back());
  t_spare.pop_back();
  return segment;
}

void GiveBack(std::unique_ptr<Segment> segment) {
  if (t_spare.size() < kSpareSegments) t_spare.push_back(std::move(segment));
}

// What one switch to a segment carries there and back.
struct Transfer {
  void (*body)(void*);
  void* context;
  std::exception_ptr error;
  char* base;
  ucontext_t caller;
  // AddressSanitizer's view of the stacks being switched.
  void* fake_stack = nullptr;
  const void* caller_bottom = nullptr;
  std::size_t caller_size = 0;
};

thread_local Transfer* t_transfer = nullptr;

// Entry point of a segment. Runs the body with the segment's limit and keeps
// any exception, which must not unwind past this frame; returning resumes
// the caller through uc_link.
void SegmentMain() {
  Transfer* transfer = t_transfer;
#if defined(DEPMAN_ASAN_FIBERS)
  __sanitizer_finish_switch_fiber(nullptr, &transfer->caller_bottom, &transfer->caller_size);
#endif
  {
    LimitScope limit(reinterpret_cast<std::uintptr_t>(transfer->base) + kSegmentReserve);
    try {
      transfer->body(transfer->context);
    } catch (...) {
      transfer->error = std::current_exception();
    }
  }
#if defined(DEPMAN_ASAN_FIBERS)
  __sanitizer_start_switch_fiber(nullptr, transfer->caller_bottom, transfer->caller_size);
#endif
}

void RunOnSegment(void (*body)(void*), void* context) {
  std::unique_ptr<Segment> segment = TakeSegment();
  Transfer transfer{body, context, nullptr, segment->base(), {}};
  ucontext_t callee;
  getcontext(&callee);
  callee.uc_stack.ss_sp = segment->base();
  callee.uc_stack.ss_size = kSegmentSize;
  callee.uc_link = &transfer.caller;
  makecontext(&callee, SegmentMain, 0);

  Transfer* outer = t_transfer;
  t_transfer = &transfer;
#if defined(DEPMAN_ASAN_FIBERS)
  __sanitizer_start_switch_fiber(&transfer.fake_stack, segment->base(), kSegmentSize);
#endif
  swapcontext(&transfer.caller, &callee);
#if defined(DEPMAN_ASAN_FIBERS)
  __sanitizer_finish_switch_fiber(transfer.fake_stack, nullptr, nullptr);
#endif
  t_transfer = outer;
  GiveBack(std::move(segment));
  if (transfer.error) std::rethrow_exception(transfer.error);
}

}  // namespace

void RunWithStackRoom(void (*body)(void*), void* context) {
  const std::uintptr_t here = StackAddress();
  if (t_limit == 0) {
    // The outermost step of this evaluation: budget the host's stack from here.
    LimitScope limit(here > kHostBudget ? here - kHostBudget : 1);
    body(context);
  } else if (here >= t_limit) {
    body(context);
  } else {
    RunOnSegment(body, context);
  }
}

#else  // no way to switch stacks here: evaluate in place

void RunWithStackRoom(void (*body)(void*), void* context) { body(context); }

#endif

}  // namespace depman
