// Drives one depman document and the reference model with the same
// operations and checks the library after each one: every value it hands
// out, its notifications, which actions it ran, and that it releases every
// action it took. Shared by the randomized tests, the soak run, the
// failure-injection tests and the fuzzer.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "depman/depman.hpp"
#include "harness.hpp"
#include "reference_model.hpp"
#include "source.hpp"
#include "test_action.hpp"

namespace depman::model {

struct DriverOptions {
  bool function_notify = false;  // notifications through an Engine::Function
  std::size_t max_nodes = 24;    // random steps add no node beyond this
};

class Driver {
 public:
  enum class Side { kAfter, kBefore };

  explicit Driver(DriverOptions options = {});
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;
  ~Driver();

  // One operation chosen by `source`, with its checks.
  void random_step(Source& source);
  // Unloads the document; every action must then have been released once
  // per link that held it and no successor may be left.
  void finish();

  bool ok() const { return m_harness.faults().empty(); }
  const std::vector<std::string>& faults() const { return m_harness.faults(); }
  Harness& harness() { return m_harness; }
  const ReferenceModel& model() const { return m_model; }
  uint64_t operations() const { return m_operations; }

  // A random action description.
  RecipeRef random_spec(Source& source);

  // The operations. Each runs on the library and the model and checks the
  // outcome. A host failure injected through the harness's plan must reach
  // the caller; the model then follows what the library is meant to do.
  int32_t add(Side side, int32_t anchor, RecipeRef spec, bool lazy,
              std::optional<int32_t> newhandle = std::nullopt);
  void update(int32_t handle, RecipeRef spec, bool lazy);
  void remove(int32_t handle);
  void clear_chain(int32_t handle, int32_t depth);
  void get_all_values(int32_t handle);
  void get_value(int32_t handle, const Name& name);
  void get_value_at(int32_t handle, const Name& name);
  void is_bound_at(int32_t handle, const Name& name);
  void ready(int32_t handle);
  void set_deps(bool enabled);
  // Enables invalidation and clears every chain, so that results stale from
  // edits made without invalidation are computed afresh.
  void resync();
  void switch_notify();
  // The `n`-th host callback from now on throws InjectedFault.
  void arm_failure(int64_t n);
  // GetAllValues of every node, in document order.
  void sweep();

 private:
  enum class Outcome { kOk, kInjected, kOther };
  using Snapshot = std::map<int32_t, DictionaryRef>;

  // Starts an operation; when tracing, prints the document first.
  void begin(std::string description);
  void register_notify();
  Outcome run(const std::function<void()>& call);
  bool settle_injection(Outcome outcome);
  void settle_query_injection(Outcome outcome);
  Snapshot ready_snapshot() const;
  void check_edit(int32_t edited, const std::vector<Cell>& order, const Snapshot& before,
                  bool failed);
  void check_query(int32_t handle, const Snapshot& before);
  void check_state();
  void check_result(const DictionaryRef& result, const NodeValue& expected, int32_t handle);
  void retire(const std::shared_ptr<TestAction>& head);
  std::shared_ptr<TestAction> head_for(const RecipeRef& spec, int32_t handle);
  void note_stale_after(int index);
  void forget_stale_marker(int index);
  bool stale(int index) const;
  bool may_fail_through(int index, const std::vector<NodeValue>& values) const;
  int32_t random_handle(Source& source) const;
  std::optional<int32_t> random_new_handle(Source& source) const;
  const Name& random_name(Source& source) const;

  DriverOptions m_options;
  Harness m_harness;  // outlives the document and every action
  ReferenceModel m_model;
  std::map<int32_t, std::shared_ptr<TestAction>> m_heads;
  std::vector<int32_t> m_removed_handles;
  std::unique_ptr<Depman> m_dm;
  bool m_function_notify;
  std::string m_last_error;  // the message of the last library error
  bool m_deps_enabled = true;
  // An edit made while invalidation is off leaves the results after the
  // edited node possibly stale: the library keeps them, by design, until
  // something invalidates or clears them. Values of such nodes are not
  // compared until resync().
  enum class Stale { kNone, kAfterMarker, kAll };
  Stale m_stale = Stale::kNone;
  int32_t m_stale_marker = 0;  // with kAfterMarker: nodes after this one
  uint64_t m_next_spec_id = 0;
  uint64_t m_operations = 0;
};

}  // namespace depman::model
