// Small scripted documents checked against the reference model by the same
// driver as the randomized runs (tests/model/driver.hpp): each case pins a
// fault that a randomized run once found.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "model/driver.hpp"

namespace {

using depman::model::Driver;
using depman::model::MakeRecipe;
using depman::model::Name;
using depman::model::RecipeRef;
using depman::model::Step;

std::string Faults(const Driver& driver) {
  std::string text;
  for (const std::string& fault : driver.faults()) text += "\n  " + fault;
  return text;
}

// Node N's second link read `b`; ClearChain drops that link, but C still
// holds a result computed from N's values. Defining `b` before N must still
// reach C through N.
TEST(ModelScenario, ClearedChainStillPassesChangesOnToDependents) {
  Driver driver;
  const int32_t p =
      driver.add(Driver::Side::kAfter, 0, MakeRecipe(1, {L"a"}, {{{}, {L"a"}}}), false);
  const int32_t n = driver.add(Driver::Side::kAfter, p,
                               MakeRecipe(2, {L"x"}, {{{}, {}}, {{L"b"}, {L"x"}}}), false);
  const int32_t c =
      driver.add(Driver::Side::kAfter, n, MakeRecipe(3, {L"y"}, {{{L"x"}, {L"y"}}}), false);
  driver.get_all_values(c);
  driver.clear_chain(n, 0);
  driver.update(p, MakeRecipe(4, {L"b"}, {{{}, {L"b"}}}), false);
  driver.get_all_values(c);
  driver.finish();
  EXPECT_TRUE(driver.ok()) << Faults(driver);
}

}  // namespace
