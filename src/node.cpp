#include "node.hpp"

#include <exception>
#include <utility>

#include "engine.hpp"
#include "eval.hpp"

namespace depman {

PositionBase::~PositionBase() = default;

PositionBase::PositionBase() = default;
// A node normally has no chain left here (its owner withdrew it), unless the
// withdrawal failed; the chain goes now, before the list part is gone.
Position::~Position() { destroy_chain(); }

void PositionBase::destroy_chain() noexcept {
  if (m_chain != nullptr) manager()->mark_fresh(self());
  m_chain.reset();
}

void PositionBase::initialize(DepManager* d, const NotifyRef& n, Position* p, int32_t h) {
  m_env.bind(d, p);
  m_notify = &n;
  m_handle = h;
  m_chain.reset();
  m_compute_depth = 0;
  m_notify_enabled = true;
  m_lazy = false;
}

namespace {

// Runs `step`; keeps its failure in `failure` (the first one wins) so that
// the steps after it still run and leave the node consistent.
template <class Step>
void Attempt(std::exception_ptr& failure, Step&& step) {
  try {
    step();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
}

}  // namespace

// The registrations always follow the chain, even when a host callback fails
// half way (an invalidation notice, an action's Release): the first such
// failure is rethrown once the node is consistent again.
void PositionBase::update(const ActionRef& a, bool bInvalidate) {
  std::exception_ptr failure;
  if (m_chain != nullptr) {
    ListRef old_defs = m_chain->GetDefs();  // if this fails, nothing has changed
    Attempt(failure, [&] { registerDefs(old_defs, false, bInvalidate); });
    manager()->mark_fresh(self());
    Attempt(failure, [&] { ActionChain::dispose(std::move(m_chain)); });
  }
  if (a != nullptr) {
    m_chain = std::make_unique<ActionChain>(self(), a, 0);
    manager()->mark_stale(self());
    ListRef defs;
    try {
      defs = m_chain->GetDefs();
    } catch (...) {
      // Names unknown: the node cannot keep the action.
      if (!failure) failure = std::current_exception();
      manager()->mark_fresh(self());
      Attempt(failure, [&] { ActionChain::dispose(std::move(m_chain)); });
    }
    if (m_chain != nullptr) Attempt(failure, [&] { registerDefs(defs, true, bInvalidate); });
  }
  if (failure) std::rethrow_exception(failure);
}

void PositionBase::registerDefs(const ListRef& defs, bool bRegister, bool bInvalidate) {
  if (defs == nullptr) return;
  if (bRegister) m_registered.clear();
  // Whether m_registered holds the entries of `defs` (in their order, each
  // name once), so that invalidation needs to look no name up.
  bool entries_at_hand = bRegister;
  if (!bRegister && defs == m_registered_list) {
    // The very list registered: its entries are at hand, no name is hashed.
    // A name that somebody reads keeps its entry; any other entry may be
    // freed, and has nothing to invalidate, so it is forgotten here.
    for (NameEntry*& entry : m_registered) {
      NameEntry* withdrawn = entry;
      if (withdrawn->dependents.empty()) entry = nullptr;
      manager()->remove_def(withdrawn, self());
    }
    entries_at_hand = true;
  } else {
    for (const ObjectRef& item : *defs) {
      const auto* name = dynamic_cast<const String*>(item.get());
      if (name == nullptr) continue;  // not a name: nothing to register
      if (!bRegister) {
        manager()->remove_def(name->Value(), self());
      } else if (NameEntry* added = manager()->add_def(name->Value(), self())) {
        m_registered.push_back(added);
      }
    }
  }
  m_registered_list = bRegister ? defs : nullptr;
  if (bInvalidate) {
    try {
      // The walk takes the entries before it runs any host code.
      if (entries_at_hand) {
        manager()->invalidate_registered(m_registered, self());
      } else {
        manager()->invalidateChains(*defs, self());
      }
    } catch (...) {
      if (!bRegister) m_registered.clear();
      throw;
    }
  }
  if (!bRegister) m_registered.clear();
}

const InlineVector<NameEntry*, 1>* PositionBase::registered_names(const ListRef& defs) const {
  return defs != nullptr && defs == m_registered_list ? &m_registered : nullptr;
}

DictionaryRef PositionBase::ready() const { return m_chain ? m_chain->ready() : nullptr; }

const DictionaryRef* PositionBase::ready_lent() const noexcept {
  return m_chain ? m_chain->ready_lent() : nullptr;
}

DictionaryRef PositionBase::eval(bool force) {
  const DictionaryRef* result = eval_lent(force);
  return result != nullptr ? *result : nullptr;
}

const DictionaryRef* PositionBase::eval_lent(bool force) {
  if (m_chain == nullptr) return nullptr;
  if (!force && m_lazy) return m_chain->ready_lent();
  const DictionaryRef& result = m_chain->eval();
  manager()->mark_fresh(self());
  return &result;
}

bool PositionBase::clear(int32_t depth) {
  if (m_chain == nullptr) return false;
  manager()->mark_stale(self());
  return m_chain->clear(depth);
}

EnvironmentRef PositionBase::env() noexcept {
  // Aliasing an empty owner: a pointer that shares no ownership.
  return EnvironmentRef(EnvironmentRef(), &m_env);
}

ListRef PositionBase::GetDefs() const { return m_chain ? m_chain->GetDefs() : nullptr; }

std::string PositionBase::ToStrng() const { return m_chain ? m_chain->ToStrng() : std::string(); }

void PositionBase::send(Status s) const {
  if (m_notify_enabled && m_notify != nullptr && *m_notify != nullptr) {
    (*m_notify)->Invoke(m_handle, s);
  }
}

void PositionBase::StartCompute() {
  // Notify before counting: if the callback fails, the bracket never opened.
  if (m_compute_depth == 0) send(Status::NODE_COMPUTING);
  ++m_compute_depth;
}

void PositionBase::EndCompute() {
  // Count before notifying: a failing callback leaves the depth balanced.
  --m_compute_depth;
  if (m_compute_depth == 0) send(Status::NODE_NOT_COMPUTING);
}

compute_loc::compute_loc(Position* r) : m_pos(r) { m_pos->StartCompute(); }

void compute_loc::close() {
  Position* pos = std::exchange(m_pos, nullptr);  // closed even if the notice fails
  pos->EndCompute();
}

compute_loc::~compute_loc() {
  if (m_pos == nullptr) return;
  // The computation failed: its own error is the one to report.
  try {
    m_pos->EndCompute();
  } catch (...) {
  }
}

}  // namespace depman
