#include "harness.hpp"

namespace depman::model {
namespace {

// Enough to diagnose a run; the rest would only repeat the first cause.
constexpr std::size_t kFaultsKept = 20;

}  // namespace

void Harness::fault(const std::string& message) {
  if (m_faults.size() < kFaultsKept) m_faults.push_back(m_operation + ": " + message);
}

void Harness::begin(std::string description) {
  m_operation = std::move(description);
  if (m_trace != nullptr) *m_trace << m_operation << '\n';
  m_notices.clear();
  m_ran.clear();
}

// A failing notification target is simulated where the library's bracket
// counting makes it observable: before NODE_COMPUTING counts (the bracket
// never opens) and after NODE_NOT_COMPUTING counts (the bracket is closed).
void Harness::notice(int32_t handle, Status status) {
  const auto text = std::to_string(handle);
  if (m_trace != nullptr) *m_trace << "    " << ToStrng(BoxText(status)) << " " << text << '\n';
  switch (status) {
    case Status::NODE_COMPUTING:
      m_plan.tick(Callback::kNotify, nullptr);
      m_notices.emplace_back(handle, status);
      if (!m_open.insert(handle).second) fault("NODE_COMPUTING nested for node " + text);
      return;
    case Status::NODE_NOT_COMPUTING:
      m_notices.emplace_back(handle, status);
      if (m_open.erase(handle) == 0) fault("NODE_NOT_COMPUTING without an open bracket: " + text);
      m_plan.tick(Callback::kNotify, nullptr);
      return;
    case Status::NODE_INVALID:
      m_plan.tick(Callback::kNotify, nullptr);
      m_notices.emplace_back(handle, status);
      return;
    default:
      fault("unexpected status " + std::to_string(static_cast<int>(status)) + " for " + text);
  }
}

uint64_t Harness::epoch(int32_t handle) const {
  auto it = m_epochs.find(handle);
  return it == m_epochs.end() ? 0 : it->second;
}

}  // namespace depman::model
