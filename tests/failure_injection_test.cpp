// Host failures at every point of a scripted scenario: the n-th host
// callback (an action's Invoke, GetDefs or Release, or the notification
// target) throws, for every n. The failure must reach the caller, no compute
// bracket may stay open, and the document, used on with the failing
// stopped, must still give the reference model's values; sanitizer builds
// also check that nothing leaks. The checks are the driver's
// (tests/model/driver.hpp).
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "model/driver.hpp"

namespace {

using depman::model::Driver;
using depman::model::DriverOptions;
using depman::model::MakeRecipe;
using depman::model::Name;
using depman::model::RecipeRef;
using depman::model::Step;

Step Link(std::vector<Name> lookups, std::vector<Name> outputs, bool fresh_next = false) {
  return Step{std::move(lookups), std::move(outputs), fresh_next};
}

// Build a document whose nodes read and define names through chains of
// several links, evaluate it, update a definer, insert one, remove one
// whose dependents define names themselves, clear a chain, and evaluate
// after each step; Driver::finish unloads it.
void Scenario(Driver& d) {
  using Side = Driver::Side;
  const int32_t a =
      d.add(Side::kAfter, 0, MakeRecipe(1, {L"a", L"b"}, {Link({}, {L"a", L"b"})}), false);
  const int32_t b =
      d.add(Side::kAfter, a, MakeRecipe(2, {L"c"}, {Link({L"b"}, {}, true), Link({L"a"}, {L"c"})}),
            false);
  const int32_t c = d.add(Side::kAfter, b, MakeRecipe(3, {L"d"}, {Link({L"c"}, {L"d"})}), true);
  const int32_t e =
      d.add(Side::kAfter, c,
            MakeRecipe(4, {L"e"}, {Link({L"d", L"b"}, {}), Link({L"c"}, {}), Link({L"d"}, {L"e"})}),
            false);
  const int32_t f = d.add(Side::kAfter, e, MakeRecipe(5, {}, {Link({L"e", L"a"}, {L"a"})}), false);
  d.get_all_values(f);
  d.get_value(c, L"d");
  d.update(a, MakeRecipe(6, {L"a", L"b"}, {Link({}, {L"a", L"b"}, true), Link({}, {L"a", L"b"})}),
           false);
  d.get_all_values(f);
  const int32_t g = d.add(Side::kBefore, c, MakeRecipe(7, {L"c"}, {Link({L"b"}, {L"c"})}), false);
  d.get_all_values(f);
  d.remove(a);
  d.sweep();
  d.clear_chain(e, 1);
  d.get_all_values(e);
  d.update(b, MakeRecipe(8, {L"d"}, {Link({}, {L"d"})}), true);
  d.remove(g);
  d.sweep();
}

// Runs the scenario with the `n`-th callback failing (0: none); returns the
// faults found and how many callbacks the run made.
std::string RunWithFailure(bool function_notify, int64_t n, int64_t* calls = nullptr) {
  DriverOptions options;
  options.function_notify = function_notify;
  Driver driver(options);
  driver.harness().plan().arm(n);
  Scenario(driver);
  driver.finish();
  if (calls != nullptr) *calls = driver.harness().plan().calls();
  std::string faults;
  if (n > 0 && driver.harness().plan().failures() != 1) faults += "\n  no failure was injected";
  for (const std::string& fault : driver.faults()) faults += "\n  " + fault;
  return faults;
}

// Unload goes on when a node's names cannot be read; the node then still has
// its chain, with recorded lookups, when it is destroyed (sanitizer builds
// catch a node ordered against others while half destroyed).
TEST(FailureInjectionUnload, NodeWhoseNamesCannotBeReadIsStillFreedWhole) {
  Driver driver;
  const int32_t first =
      driver.add(Driver::Side::kAfter, 0, MakeRecipe(1, {L"a"}, {Link({L"q"}, {L"a"})}), false);
  driver.add(Driver::Side::kAfter, first, MakeRecipe(2, {}, {Link({L"a"}, {L"b"})}), false);
  driver.sweep();
  driver.harness().plan().arm(1);  // the first node's GetDefs, withdrawing it
  driver.finish();
  EXPECT_EQ(driver.harness().plan().failures(), 1);
  EXPECT_TRUE(driver.ok()) << driver.faults().front();
}

class FailureInjection : public ::testing::TestWithParam<bool> {};

TEST_P(FailureInjection, EveryCallbackMayFail) {
  int64_t calls = 0;
  const std::string clean = RunWithFailure(GetParam(), 0, &calls);
  ASSERT_EQ(clean, "") << "the scenario fails without any injected failure";
  ASSERT_GT(calls, 100) << "the scenario is meant to make many host callbacks";
  for (int64_t n = 1; n <= calls; ++n) {
    const std::string faults = RunWithFailure(GetParam(), n);
    EXPECT_EQ(faults, "") << "callback " << n << " of " << calls << " failing";
  }
}

INSTANTIATE_TEST_SUITE_P(NotifyTargets, FailureInjection, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "EngineFunction" : "Notify";
                         });

}  // namespace
