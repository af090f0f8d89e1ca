// libFuzzer target: the input bytes choose a sequence of operations on one
// document (the same operations and checks as the randomized model tests,
// tests/model/driver.hpp); any mismatch with the reference model aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  depman::model::ByteSource source(data, size);
  depman::model::DriverOptions options;
  options.function_notify = source.chance(50);
  options.max_nodes = 2 + source.below(15);
  depman::model::Driver driver(options);
  while (!source.exhausted() && driver.ok()) driver.random_step(source);
  if (driver.ok()) driver.finish();
  if (driver.ok()) return 0;
  for (const std::string& fault : driver.faults()) std::fprintf(stderr, "%s\n", fault.c_str());
  std::abort();
}
