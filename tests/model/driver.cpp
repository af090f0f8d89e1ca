#include "driver.hpp"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace depman::model {
namespace {

std::string Text(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::string Describe(const Values& values) {
  std::string text = "{";
  for (const auto& [name, value] : values) text += " " + Text(name) + "=" + Text(value);
  return text + " }";
}

std::string Describe(const Dictionary& dictionary) {
  std::string text = "{";
  for (const auto& [name, value] : dictionary) {
    const auto* s = dynamic_cast<const String*>(value.get());
    text += " " + Text(name) + "=" + (s != nullptr ? Text(s->Value()) : "<not a string>");
  }
  return text + " }";
}

bool Equal(const Dictionary& dictionary, const Values& values) {
  if (dictionary.Count() != values.size()) return false;
  for (const auto& [name, value] : values) {
    const auto* s = dynamic_cast<const String*>(dictionary.Get(name).get());
    if (s == nullptr || s->Value() != value) return false;
  }
  return true;
}

std::string SideName(Driver::Side side) {
  return side == Driver::Side::kAfter ? "After" : "Before";
}

std::string SpecName(const RecipeRef& spec) {
  return spec != nullptr ? "action " + std::to_string(spec->id) : "no action";
}

// Every cell reachable from `roots` through the results they read.
std::set<std::size_t> Closure(std::vector<std::size_t> roots,
                              const std::vector<NodeValue>& values) {
  std::set<std::size_t> reached;
  while (!roots.empty()) {
    const std::size_t cell = roots.back();
    roots.pop_back();
    if (!reached.insert(cell).second) continue;
    roots.insert(roots.end(), values[cell].reads.begin(), values[cell].reads.end());
  }
  return reached;
}

}  // namespace

Driver::Driver(DriverOptions options)
    : m_options(options),
      m_dm(std::make_unique<Depman>()),
      m_function_notify(options.function_notify) {
  register_notify();
}

// The document goes first: it may still hold actions, which report to the harness.
Driver::~Driver() { m_dm.reset(); }

void Driver::register_notify() {
  Harness* harness = &m_harness;
  if (m_function_notify) {
    m_dm->RegisterNotify(Engine::MakeFunction([harness](ObjectRef h, ObjectRef s) {
      auto handle = std::dynamic_pointer_cast<Box<int32_t>>(h);
      auto status = std::dynamic_pointer_cast<Box<Status>>(s);
      if (handle == nullptr || status == nullptr) {
        harness->fault("Invoke2 received something other than a handle and a status");
        return;
      }
      harness->notice(handle->Value(), status->Value());
    }));
  } else {
    m_dm->RegisterNotify(
        std::make_shared<Notify>([harness](int32_t h, Status s) { harness->notice(h, s); }));
  }
}

void Driver::begin(std::string description) {
  if (std::ostream* trace = m_harness.tracing()) *trace << m_model.describe();
  m_harness.begin(std::move(description));
}

Driver::Outcome Driver::run(const std::function<void()>& call) {
  try {
    call();
    return Outcome::kOk;
  } catch (const InjectedFault&) {
    return Outcome::kInjected;
  } catch (const std::logic_error& e) {
    m_last_error = e.what();
    return Outcome::kOther;
  } catch (const std::exception& e) {
    m_harness.fault(std::string("unexpected exception: ") + e.what());
    return Outcome::kOther;
  }
}

// Whether an injected failure happened during the operation; it must have
// reached the caller unchanged.
bool Driver::settle_injection(Outcome outcome) {
  const bool fired = m_harness.plan().fired();
  // The library drops a failing notification that closes a compute bracket
  // while another error (a broken action's) is already on its way out.
  if (fired && outcome != Outcome::kInjected && outcome != Outcome::kOther) {
    m_harness.fault("an injected host failure did not reach the caller");
  }
  if (!fired && outcome == Outcome::kInjected) {
    m_harness.fault("an injected failure was reported by an operation that did not cause it");
  }
  return fired;
}

// A query cut short by a host failure leaves links that had to run without
// a result; they run again, possibly with the inputs of an earlier run.
void Driver::settle_query_injection(Outcome outcome) {
  if (!settle_injection(outcome)) return;
  for (const Cell& cell : m_model.cells()) m_harness.next_epoch(cell.handle);
  m_harness.plan().clear_fired();
}

Driver::Snapshot Driver::ready_snapshot() const {
  Snapshot snapshot;
  for (const Cell& cell : m_model.cells()) snapshot[cell.handle] = m_dm->Ready(cell.handle);
  return snapshot;
}

std::shared_ptr<TestAction> Driver::head_for(const RecipeRef& spec, int32_t handle) {
  if (spec == nullptr) return nullptr;
  return std::make_shared<TestAction>(m_harness, spec, handle, 0);
}

// A head action that its node no longer has: no link may hold it or the
// successor it hands out any longer.
void Driver::retire(const std::shared_ptr<TestAction>& head) {
  for (const TestAction* action = head.get(); action != nullptr; action = action->shared_next()) {
    if (action->links() != 0) {
      m_harness.fault("an action that left the document is still held by " +
                      std::to_string(action->links()) + " links");
    }
  }
}

bool Driver::stale(int index) const {
  switch (m_stale) {
    case Stale::kNone:
      return false;
    case Stale::kAll:
      return true;
    case Stale::kAfterMarker:
      return index > m_model.index_of(m_stale_marker);
  }
  return true;
}

// Results after cell `index` may be stale from now on (-1: every result).
void Driver::note_stale_after(int index) {
  if (m_stale == Stale::kAll) return;
  if (index < 0) {
    m_stale = Stale::kAll;
  } else if (m_stale == Stale::kNone || index < m_model.index_of(m_stale_marker)) {
    m_stale = Stale::kAfterMarker;
    m_stale_marker = m_model.cells()[index].handle;
  }
}

// Cell `index` is about to be removed; if it marks the stale region, the
// cell before it takes over.
void Driver::forget_stale_marker(int index) {
  if (m_stale != Stale::kAfterMarker || m_model.cells()[index].handle != m_stale_marker) return;
  if (index == 0) {
    m_stale = Stale::kAll;
  } else {
    m_stale_marker = m_model.cells()[index - 1].handle;
  }
}

// Whether GetAllValues of cell `index` may fail: some node it may evaluate fails.
bool Driver::may_fail_through(int index, const std::vector<NodeValue>& values) const {
  for (int i = 0; i <= index; ++i) {
    if (values[i].kind == NodeValue::kError || stale(i)) return true;
  }
  return false;
}

int32_t Driver::add(Side side, int32_t anchor, RecipeRef spec, bool lazy,
                    std::optional<int32_t> newhandle) {
  const int32_t handle = newhandle ? *newhandle : m_model.max_handle() + 1;
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " Add" + SideName(side) + "(" +
        std::to_string(anchor) + ", " + SpecName(spec) + ", handle " + std::to_string(handle) +
        (newhandle ? " given" : " issued") + (lazy ? ", lazy)" : ")"));
  const Snapshot before = ready_snapshot();
  auto head = head_for(spec, handle);
  if (head != nullptr) head->note_install();
  int32_t issued = handle;
  const Outcome outcome = run([&] {
    const bool after = side == Side::kAfter;
    if (newhandle) {
      after ? m_dm->AddAfter(anchor, head, *newhandle, lazy)
            : m_dm->AddBefore(anchor, head, *newhandle, lazy);
    } else {
      issued = after ? m_dm->AddAfter(anchor, head, lazy) : m_dm->AddBefore(anchor, head, lazy);
    }
  });
  if (outcome == Outcome::kOther) m_harness.fault("the edit failed: " + m_last_error);
  const bool failed = settle_injection(outcome);
  if (issued != handle) {
    m_harness.fault("issued handle " + std::to_string(issued) + ", expected " +
                    std::to_string(handle));
  }
  // A new action whose names cannot be read is not kept.
  const FaultPlan& plan = m_harness.plan();
  const bool dropped = failed && head != nullptr && plan.fired_who() == head.get() &&
                       plan.fired_kind() == Callback::kGetDefs;
  const Cell cell{handle, dropped ? nullptr : spec, lazy};
  side == Side::kAfter ? m_model.add_after(anchor, cell) : m_model.add_before(anchor, cell);
  if (cell.spec != nullptr) {
    m_heads[handle] = head;
  } else {
    retire(head);
  }
  m_harness.plan().clear_fired();
  if (!m_deps_enabled) note_stale_after(m_model.index_of(handle));
  check_edit(handle, m_model.cells(), before, failed);
  check_state();
  return handle;
}

void Driver::update(int32_t handle, RecipeRef spec, bool lazy) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " Update(" + std::to_string(handle) + ", " +
        SpecName(spec) + (lazy ? ", lazy)" : ")"));
  const int index = m_model.index_of(handle);
  const Snapshot before = ready_snapshot();
  auto head = head_for(spec, handle);
  if (head != nullptr && index >= 0) head->note_install();
  const Outcome outcome = run([&] { m_dm->Update(handle, head, lazy); });
  if (outcome == Outcome::kOther) m_harness.fault("the edit failed: " + m_last_error);
  const bool failed = settle_injection(outcome);
  if (index < 0) {
    if (head != nullptr && head->calls() != 0) {
      m_harness.fault("Update of a handle that names no node called the action");
    }
    if (!m_harness.notices().empty()) m_harness.fault("Update of no node sent notifications");
    check_state();
    return;
  }
  m_model.set_lazy(handle, lazy);  // set before the action is replaced, even if that fails
  const FaultPlan& plan = m_harness.plan();
  auto it = m_heads.find(handle);
  std::shared_ptr<TestAction> old = it != m_heads.end() ? it->second : nullptr;
  const bool names_failed = failed && plan.fired_kind() == Callback::kGetDefs;
  if (names_failed && old != nullptr && plan.fired_who() == old.get()) {
    // The old action's names could not be withdrawn: the node keeps it.
    if (head != nullptr) head->undo_install();
  } else {
    const bool dropped = names_failed && head != nullptr && plan.fired_who() == head.get();
    m_model.update(handle, dropped ? nullptr : spec, lazy);
    if (old != nullptr) {
      m_heads.erase(handle);
      retire(old);
    }
    if (head != nullptr && !dropped) {
      m_heads[handle] = head;
    } else {
      retire(head);
    }
    if (!m_deps_enabled) note_stale_after(index);
  }
  m_harness.plan().clear_fired();
  check_edit(handle, m_model.cells(), before, failed);
  check_state();
}

void Driver::remove(int32_t handle) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " Remove(" + std::to_string(handle) + ")");
  const int index = m_model.index_of(handle);
  const std::vector<Cell> order = m_model.cells();
  const Snapshot before = ready_snapshot();
  const Outcome outcome = run([&] { m_dm->Remove(handle); });
  if (outcome == Outcome::kOther) m_harness.fault("the edit failed: " + m_last_error);
  const bool failed = settle_injection(outcome);
  const FaultPlan& plan = m_harness.plan();
  auto it = m_heads.find(handle);
  std::shared_ptr<TestAction> old = it != m_heads.end() ? it->second : nullptr;
  const bool refused = failed && old != nullptr && plan.fired_who() == old.get() &&
                       plan.fired_kind() == Callback::kGetDefs;
  if (index >= 0 && !refused) {
    forget_stale_marker(index);
    if (!m_deps_enabled) note_stale_after(index - 1);
    m_model.remove(handle);
    if (old != nullptr) {
      m_heads.erase(handle);
      retire(old);
    }
    m_removed_handles.push_back(handle);
  }
  m_harness.plan().clear_fired();
  check_edit(handle, order, before, failed);
  check_state();
}

void Driver::clear_chain(int32_t handle, int32_t depth) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " ClearChain(" + std::to_string(handle) + ", " +
        std::to_string(depth) + ")");
  const Snapshot before = ready_snapshot();
  const Outcome outcome = run([&] { m_dm->ClearChain(handle, depth); });
  if (outcome == Outcome::kOther) m_harness.fault("the edit failed: " + m_last_error);
  const bool failed = settle_injection(outcome);
  m_harness.next_epoch(handle);
  m_harness.plan().clear_fired();
  const int index = m_model.index_of(handle);
  if (index >= 0 && !m_deps_enabled) note_stale_after(index);
  check_edit(handle, m_model.cells(), before, failed);
  check_state();
}

// After an edit: nothing ran; NODE_INVALID reached only nodes after the
// edited one; and, unless a host failure cut the edit short, a node kept
// its ready result exactly when it was not reported invalid.
void Driver::check_edit(int32_t edited, const std::vector<Cell>& order, const Snapshot& before,
                        bool failed) {
  if (!m_harness.ran().empty()) m_harness.fault("an edit ran an action");
  const auto position = [&order](int32_t handle) {
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (order[i].handle == handle) return static_cast<int>(i);
    }
    return -1;
  };
  const int edited_at = position(edited);
  std::set<int32_t> invalidated;
  for (const auto& [handle, status] : m_harness.notices()) {
    const std::string node = "node " + std::to_string(handle);
    if (status != Status::NODE_INVALID) {
      m_harness.fault("an edit sent a compute notification for " + node);
      continue;
    }
    invalidated.insert(handle);
    const int at = position(handle);
    if (at < 0) {
      m_harness.fault("NODE_INVALID for " + node + ", which is not in the document");
    } else if (edited_at < 0 || at <= edited_at) {
      m_harness.fault("NODE_INVALID for " + node + ", at or before the edited node");
    }
  }
  if (failed) return;
  for (const auto& [handle, was] : before) {
    if (handle == edited || was == nullptr || m_model.index_of(handle) < 0) continue;
    const DictionaryRef now = m_dm->Ready(handle);
    const std::string node = "node " + std::to_string(handle);
    if (invalidated.count(handle) != 0 && now != nullptr) {
      m_harness.fault(node + " was reported invalid but is still ready");
    } else if (invalidated.count(handle) == 0 && now != was) {
      m_harness.fault(node + " lost or changed its result without NODE_INVALID");
    }
  }
}

// After a query: it invalidated nothing and ran no action it did not need:
// none after the node asked for, none whose result was ready, and no lazy
// node that neither the node asked for nor an eager node before it reads.
void Driver::check_query(int32_t handle, const Snapshot& before) {
  for (const auto& notice : m_harness.notices()) {
    if (notice.second == Status::NODE_INVALID) m_harness.fault("a query sent NODE_INVALID");
  }
  if (m_harness.ran().empty()) return;
  const int index = m_model.index_of(handle);
  if (index < 0) {
    m_harness.fault("a query of a handle that names no node ran actions");
    return;
  }
  const std::vector<Cell>& cells = m_model.cells();
  std::vector<std::size_t> roots{static_cast<std::size_t>(index)};
  for (int i = 0; i < index; ++i) {
    if (!cells[i].lazy) roots.push_back(static_cast<std::size_t>(i));
  }
  const std::set<std::size_t> needed = Closure(roots, m_model.evaluate());
  for (int32_t ran : m_harness.ran()) {
    const int at = m_model.index_of(ran);
    const std::string node = "node " + std::to_string(ran);
    if (at < 0 || at > index) {
      m_harness.fault(node + " ran, which comes after the node asked for");
    } else if (auto it = before.find(ran); it != before.end() && it->second != nullptr) {
      m_harness.fault(node + " ran although its result was ready");
    } else if (cells[at].lazy && at != index && needed.count(at) == 0) {
      m_harness.fault("lazy " + node + " ran although nothing asked for it");
    }
  }
}

void Driver::check_result(const DictionaryRef& result, const NodeValue& expected, int32_t handle) {
  const std::string node = "node " + std::to_string(handle);
  switch (expected.kind) {
    case NodeValue::kNoAction:
      if (result != nullptr) m_harness.fault(node + " has no action but has a result");
      return;
    case NodeValue::kError:
      if (result != nullptr) m_harness.fault(node + " has a result; its evaluation should fail");
      return;
    case NodeValue::kValues:
      if (result == nullptr) {
        m_harness.fault(node + " has no result");
      } else if (!Equal(*result, expected.values)) {
        m_harness.fault(node + " has " + Describe(*result) + ", expected " +
                        Describe(expected.values));
      }
      return;
  }
}

void Driver::get_all_values(int32_t handle) {
  ++m_operations;
  const std::string what =
      "op " + std::to_string(m_operations) + " GetAllValues(" + std::to_string(handle) + ")";
  begin(what);
  const Snapshot before = ready_snapshot();
  DictionaryRef result;
  const Outcome outcome = run([&] { result = m_dm->GetAllValues(handle); });
  settle_query_injection(outcome);
  check_query(handle, before);
  const int index = m_model.index_of(handle);
  const std::vector<NodeValue> values = m_model.evaluate();
  if (index < 0) {
    if (outcome != Outcome::kOk || result != nullptr) {
      m_harness.fault("GetAllValues of a handle that names no node gave something");
    }
  } else if (outcome == Outcome::kOther) {
    if (!may_fail_through(index, values)) m_harness.fault("unexpected failure: " + m_last_error);
  } else if (outcome == Outcome::kOk) {
    if (!stale(index)) check_result(result, values[index], handle);
    if (m_dm->Ready(handle) != result) {
      m_harness.fault("the result GetAllValues returned is not the node's ready result");
    }
    // Asking again changes nothing and runs nothing.
    m_harness.begin(what + " again");
    DictionaryRef again;
    const Outcome repeated = run([&] { again = m_dm->GetAllValues(handle); });
    if (repeated != Outcome::kOk || again != result || !m_harness.ran().empty() ||
        !m_harness.notices().empty()) {
      m_harness.fault("asking again recomputed, notified or changed the result");
    }
  }
  check_state();
}

void Driver::get_value(int32_t handle, const Name& name) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " GetValue(" + std::to_string(handle) + ", " +
        Text(name) + ")");
  const Snapshot before = ready_snapshot();
  ObjectRef value;
  const Outcome outcome = run([&] { value = m_dm->GetValue(handle, name); });
  settle_query_injection(outcome);
  check_query(handle, before);
  const int index = m_model.index_of(handle);
  const std::vector<NodeValue> values = m_model.evaluate();
  if (index < 0) {
    if (outcome != Outcome::kOk || value != nullptr) {
      m_harness.fault("GetValue of a handle that names no node gave something");
    }
  } else if (outcome == Outcome::kOther) {
    if (!may_fail_through(index, values)) m_harness.fault("unexpected failure: " + m_last_error);
  } else if (outcome == Outcome::kOk && !stale(index)) {
    const NodeValue& expected = values[index];
    const auto* text = dynamic_cast<const String*>(value.get());
    auto it = expected.values.find(name);
    const bool match =
        expected.kind != NodeValue::kError &&
        (it == expected.values.end() ? value == nullptr
                                     : text != nullptr && text->Value() == it->second);
    if (!match) m_harness.fault("wrong value");
  }
  check_state();
}

void Driver::get_value_at(int32_t handle, const Name& name) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " GetValueAt(" + std::to_string(handle) + ", " +
        Text(name) + ")");
  const DictionaryRef result = m_dm->GetValueAt(handle, name);
  const int index = m_model.index_of(handle);
  DictionaryRef expected;
  if (index >= 0) {
    const int definer = m_model.definer_at_or_before(static_cast<std::size_t>(index), name);
    if (definer >= 0) expected = m_dm->Ready(m_model.cells()[definer].handle);
  }
  if (result != expected) m_harness.fault("not the ready result of the node whose name is seen");
  if (!m_harness.ran().empty() || !m_harness.notices().empty()) {
    m_harness.fault("GetValueAt computed or notified");
  }
  check_state();
}

void Driver::is_bound_at(int32_t handle, const Name& name) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " IsBoundAt(" + std::to_string(handle) + ", " +
        Text(name) + ")");
  const int index = m_model.index_of(handle);
  const bool bound =
      index >= 0 && m_model.definer_at_or_before(static_cast<std::size_t>(index), name) >= 0;
  if (m_dm->IsBoundAt(handle, name) != (bound ? 1 : 0)) m_harness.fault("wrong answer");
  check_state();
}

void Driver::ready(int32_t handle) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " Ready(" + std::to_string(handle) + ")");
  const DictionaryRef result = m_dm->Ready(handle);
  if (m_model.index_of(handle) < 0 && result != nullptr) {
    m_harness.fault("Ready of a handle that names no node gave a result");
  }
  if (!m_harness.ran().empty() || !m_harness.notices().empty()) {
    m_harness.fault("Ready computed or notified");
  }
  check_state();  // compares every ready result with the model
}

void Driver::set_deps(bool enabled) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + (enabled ? " EnableDeps" : " DisableDeps"));
  enabled ? m_dm->EnableDeps() : m_dm->DisableDeps();
  m_deps_enabled = enabled;
}

void Driver::resync() {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " EnableDeps and ClearChain(h, 0) of all");
  m_dm->EnableDeps();
  m_deps_enabled = true;
  bool failed = false;
  for (const Cell& cell : m_model.cells()) {
    failed = settle_injection(run([&] { m_dm->ClearChain(cell.handle, 0); })) || failed;
    m_harness.plan().clear_fired();
    m_harness.next_epoch(cell.handle);
  }
  if (!failed) m_stale = Stale::kNone;  // a refused ClearChain may leave a stale result
  if (!m_harness.ran().empty()) m_harness.fault("ClearChain ran an action");
  check_state();
}

void Driver::arm_failure(int64_t n) {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " fail callback " + std::to_string(n) + " from now");
  m_harness.plan().arm(n);
}

void Driver::switch_notify() {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " RegisterNotify");
  m_function_notify = !m_function_notify;
  register_notify();
}

void Driver::sweep() {
  std::vector<int32_t> handles;
  for (const Cell& cell : m_model.cells()) handles.push_back(cell.handle);
  for (int32_t handle : handles) get_all_values(handle);
}

// Between operations: no bracket open, the document in the model's order,
// every ready result the model's, and each action held by as many links as
// it should be.
void Driver::check_state() {
  for (int32_t open : m_harness.open_brackets()) {
    m_harness.fault("the compute bracket of node " + std::to_string(open) + " stayed open");
  }
  const std::vector<Cell>& cells = m_model.cells();
  const ListRef handles = m_dm->GetHandles();
  bool same_order = handles->Count() == cells.size();
  for (std::size_t i = 0; same_order && i < cells.size(); ++i) {
    const auto* handle = dynamic_cast<const Box<int32_t>*>((*handles)[i].get());
    same_order = handle != nullptr && handle->Value() == cells[i].handle;
  }
  if (!same_order) m_harness.fault("GetHandles differs from the document order");
  if (m_dm->GetLastHandle() != (cells.empty() ? 0 : cells.back().handle)) {
    m_harness.fault("wrong GetLastHandle");
  }
  const std::vector<NodeValue> values = m_model.evaluate();
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const DictionaryRef result = m_dm->Ready(cells[i].handle);
    if (result != nullptr && !stale(static_cast<int>(i))) {
      check_result(result, values[i], cells[i].handle);
    }
    if (cells[i].spec == nullptr) continue;
    auto head = m_heads.find(cells[i].handle);
    if (head == m_heads.end() || head->second->links() != 1) {
      m_harness.fault("the action of node " + std::to_string(cells[i].handle) +
                      " is not held by exactly one link");
      continue;
    }
    for (const TestAction* next = head->second->shared_next(); next; next = next->shared_next()) {
      if (next->links() < 0 || next->links() > 1) {
        m_harness.fault("a successor action is held by " + std::to_string(next->links()) +
                        " links");
      }
    }
  }
}

void Driver::finish() {
  ++m_operations;
  begin("op " + std::to_string(m_operations) + " Unload");
  const Outcome outcome = run([&] { m_dm->Unload(); });
  if (outcome == Outcome::kOther) m_harness.fault("Unload failed: " + m_last_error);
  settle_injection(outcome);
  m_harness.plan().clear_fired();
  if (!m_harness.ran().empty() || !m_harness.notices().empty()) {
    m_harness.fault("Unload ran an action or sent a notification");
  }
  for (const auto& entry : m_heads) retire(entry.second);
  m_heads.clear();  // the actions go, checking their own counts
  if (m_dm->GetHandles()->Count() != 0) m_harness.fault("nodes left after Unload");
  if (m_harness.fresh_alive() != 0) {
    m_harness.fault(std::to_string(m_harness.fresh_alive()) +
                    " successor actions outlived the document");
  }
}

}  // namespace depman::model
