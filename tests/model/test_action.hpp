// The host action of the randomized tests: looks up the names its
// description lists, returns values that are a digest of what it found, and
// checks on every call that the library treats it by the contract.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "action_recipe.hpp"
#include "depman/contracts.hpp"
#include "harness.hpp"

namespace depman::model {

class TestAction final : public Action {
 public:
  // The action of link `step` of node `node`; `carried` is the digest handed
  // on by the link before it when that link makes a new successor per run.
  TestAction(Harness& harness, RecipeRef spec, int32_t node, std::size_t step,
             std::optional<uint64_t> carried = std::nullopt);
  ~TestAction() override;

  DictionaryRef Invoke(const EnvironmentRef& env) override;
  ListRef GetDefs() override;
  void Release() override;

  // The library made a link that holds this action (or, undone, it did not).
  void note_install() { ++m_installs; }
  void undo_install() { --m_installs; }
  // The number of links holding the action: installs less releases.
  int links() const { return m_installs - m_releases; }
  // How many times the library called the action at all.
  int calls() const { return m_calls; }
  // The successor handed out on every run, once made.
  const TestAction* shared_next() const { return m_shared_next.get(); }

 private:
  // The inputs of the last run that completed through one environment (one
  // link); the environment is held so that its address is not reused.
  struct Run {
    EnvironmentRef env;
    std::vector<Input> inputs;
    uint64_t epoch;
  };

  std::optional<Run> take_run(const EnvironmentRef& env);
  std::vector<Input> look_up(const EnvironmentRef& env);
  DictionaryRef forward(uint64_t digest);
  DictionaryRef finish(uint64_t digest);

  Harness& m_harness;
  RecipeRef m_spec;
  int32_t m_node;
  std::size_t m_step;
  std::optional<uint64_t> m_carried;
  ListRef m_defs;
  std::shared_ptr<TestAction> m_shared_next;
  std::vector<Run> m_runs;
  int m_installs = 0;
  int m_releases = 0;
  int m_calls = 0;
};

}  // namespace depman::model
