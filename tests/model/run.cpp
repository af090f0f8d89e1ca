#include "run.hpp"

#include "driver.hpp"

namespace depman::model {

RunReport RandomRun(uint64_t seed, uint64_t steps, std::ostream* trace) {
  RandomSource source(seed);
  DriverOptions options;
  options.max_nodes = 2 + source.below(23);
  options.function_notify = source.chance(50);
  Driver driver(options);
  driver.harness().trace(trace);
  for (uint64_t i = 0; i < steps && driver.ok(); ++i) driver.random_step(source);
  if (driver.ok()) driver.finish();
  return RunReport{driver.operations(), driver.faults()};
}

}  // namespace depman::model
