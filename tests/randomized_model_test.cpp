// The library against the reference model, over fixed seeds: random edits
// and queries on one document, every value and notification checked (see
// tests/model/driver.hpp). tests/soak runs the same for longer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "model/run.hpp"

namespace {

// DEPMAN_RANDOM_OPS in the environment overrides the per-seed count (e.g.
// lower under valgrind).
uint64_t StepsPerSeed() {
  if (const char* text = std::getenv("DEPMAN_RANDOM_OPS")) return std::strtoull(text, nullptr, 10);
  return DEPMAN_RANDOM_OPS_DEFAULT;
}

class RandomizedModel : public ::testing::TestWithParam<uint64_t> {};

TEST_P(RandomizedModel, MatchesTheReferenceModel) {
  const uint64_t seed = GetParam();
  const depman::model::RunReport report = depman::model::RandomRun(seed, StepsPerSeed());
  std::string faults;
  for (const std::string& fault : report.faults) faults += "\n  " + fault;
  EXPECT_TRUE(report.faults.empty()) << "seed " << seed << " (replay: depman_soak --seed " << seed
                                     << " --runs 1 --steps " << StepsPerSeed() << "):" << faults;
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomizedModel, ::testing::Range<uint64_t>(1, 17));

}  // namespace
