// Runs a function on a thread with a large stack.
//
// depman evaluates on demand and recursively: a cell that reads a lazy cell
// computes it inside its own computation, and a chain of lazy cells nests one
// computation per cell. A few thousand of them exhaust the usual 8 MiB stack.
#pragma once

#include <cstddef>
#include <functional>

namespace calc {

// The stack the calculator runs on: address space only, memory is committed
// as it is touched.
inline constexpr std::size_t kCalculatorStackBytes = std::size_t{1} << 30;

// Calls `run` on a new thread whose stack holds `stack_bytes`, waits for it
// and returns its result; an exception it throws is rethrown here.
int RunWithStack(std::size_t stack_bytes, const std::function<int()>& run);

}  // namespace calc
