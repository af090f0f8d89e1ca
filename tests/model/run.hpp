// One randomized run: a seeded driver for a number of operations, then Unload.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace depman::model {

struct RunReport {
  uint64_t operations = 0;
  std::vector<std::string> faults;  // empty when the library matched the model
};

// The document size and notification style follow from the seed, so that a
// seed alone replays a run.
// With `trace`, every operation is printed as it starts.
RunReport RandomRun(uint64_t seed, uint64_t steps, std::ostream* trace = nullptr);

}  // namespace depman::model
