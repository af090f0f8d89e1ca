// Failure injection: the n-th host callback of a run throws InjectedFault.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace depman::model {

enum class Callback { kInvoke, kGetDefs, kRelease, kNotify };

struct InjectedFault : std::runtime_error {
  InjectedFault() : std::runtime_error("injected host failure") {}
};

class FaultPlan {
 public:
  // The `n`-th callback from now on (1 for the next one) throws, once.
  void arm(int64_t n) {
    m_countdown = n;
    m_fired = false;
  }
  void disarm() { m_countdown = 0; }

  // Called at every host callback; throws when its turn has come.
  void tick(Callback kind, const void* who) {
    ++m_calls;
    if (m_countdown <= 0 || --m_countdown > 0) return;
    m_fired = true;
    ++m_failures;
    m_fired_kind = kind;
    m_fired_who = who;
    throw InjectedFault();
  }

  int64_t calls() const { return m_calls; }
  // How many failures were injected so far.
  int64_t failures() const { return m_failures; }
  bool fired() const { return m_fired; }
  Callback fired_kind() const { return m_fired_kind; }
  // The action whose callback threw (none for a notification).
  const void* fired_who() const { return m_fired_who; }
  void clear_fired() { m_fired = false; }

 private:
  int64_t m_countdown = 0;
  int64_t m_calls = 0;
  int64_t m_failures = 0;
  bool m_fired = false;
  Callback m_fired_kind = Callback::kInvoke;
  const void* m_fired_who = nullptr;
};

}  // namespace depman::model
