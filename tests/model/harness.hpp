// What the driver and every test action share: the record of mismatches, the
// failure plan, and what happened during the current operation (which nodes
// computed, which notifications arrived).
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "depman/contracts.hpp"
#include "fault_plan.hpp"

namespace depman::model {

class Harness {
 public:
  // Records a mismatch between the library and what it should have done.
  void fault(const std::string& message);
  const std::vector<std::string>& faults() const { return m_faults; }

  // Prints each operation as it starts to `out` (none: silent).
  void trace(std::ostream* out) { m_trace = out; }
  std::ostream* tracing() const { return m_trace; }
  // Starts a new operation: forgets the previous one's notifications and runs.
  void begin(std::string description);
  const std::string& operation() const { return m_operation; }

  // A notification from the library, however it was delivered.
  void notice(int32_t handle, Status status);
  const std::vector<std::pair<int32_t, Status>>& notices() const { return m_notices; }
  bool computing(int32_t handle) const { return m_open.count(handle) != 0; }
  const std::set<int32_t>& open_brackets() const { return m_open; }

  // The nodes whose actions ran during the current operation, in order.
  void ran(int32_t handle) { m_ran.push_back(handle); }
  const std::vector<int32_t>& ran() const { return m_ran; }

  // ClearChain lets a node's links run again with the same inputs; each one
  // starts a new epoch for the node.
  uint64_t epoch(int32_t handle) const;
  void next_epoch(int32_t handle) { ++m_epochs[handle]; }

  FaultPlan& plan() { return m_plan; }
  // Successor actions made anew per run that still exist.
  int& fresh_alive() { return m_fresh_alive; }

 private:
  std::vector<std::string> m_faults;
  std::string m_operation;
  std::ostream* m_trace = nullptr;
  std::vector<std::pair<int32_t, Status>> m_notices;
  std::set<int32_t> m_open;
  std::vector<int32_t> m_ran;
  std::map<int32_t, uint64_t> m_epochs;
  FaultPlan m_plan;
  int m_fresh_alive = 0;
};

}  // namespace depman::model
