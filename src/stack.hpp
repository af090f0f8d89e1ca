// Deep evaluation on bounded native stacks.
//
// Evaluating on demand recurses: an action's lookup evaluates the node that
// defines the name, whose action looks up an earlier name, and so on, as deep
// as the longest chain of definers that are not up to date. The host's thread
// has a fixed stack, so that depth must not live on it. WithStackRoom runs
// such a nested step on the current stack while it has room, and otherwise
// on a fresh stack segment taken from the heap, on the same thread; the
// evaluation itself, its order and its notifications do not change.
#pragma once

namespace depman {

// Runs body(context) on the current stack, or on a new segment when the
// current one is used down to its budget. An exception thrown by the body
// reaches the caller.
void RunWithStackRoom(void (*body)(void*), void* context);

// Returns f(), computed where the stack has room (see RunWithStackRoom).
template <class F>
auto WithStackRoom(F&& f) -> decltype(f()) {
  decltype(f()) result{};
  auto run = [&] { result = f(); };
  RunWithStackRoom([](void* c) { (*static_cast<decltype(run)*>(c))(); }, &run);
  return result;
}

}  // namespace depman
