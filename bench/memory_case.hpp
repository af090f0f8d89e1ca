// The heap that a depman document holds per node, split by what holds it.
#pragma once

#include <string>

#include "workloads.hpp"

namespace bench {

// Counter names of the memory case, all in bytes per node unless they say otherwise.
inline constexpr const char* kTotalBytes = "total";
inline constexpr const char* kAllocations = "allocs";        // live allocations per node
inline constexpr const char* kHostActions = "host actions";  // the actions and their GetDefs lists
inline constexpr const char* kDocument = "depman nodes";     // what AddAfter added besides them
inline constexpr const char* kEvaluation = "evaluation";     // what the first evaluation added
inline constexpr const char* kHostResults =
    "host results";  // of which: result dictionaries and values
// Prefix of the counters "size <bytes>": live allocations of that size per node.
inline constexpr const char* kSizePrefix = "size ";

// Registers "<w.name>/memory/<size>/depman": builds and evaluates `w` once and
// reports the live heap per node in counters.
void RegisterMemoryCase(const Workload& w, const std::string& size);

}  // namespace bench
