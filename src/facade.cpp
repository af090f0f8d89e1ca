// Depman: maps host handles to nodes and turns each host call into a fixed
// sequence of calls on the node list, the nodes and the dependency engine.
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "contracts.hpp"
#include "depman/depman.hpp"
#include "dump.hpp"
#include "engine.hpp"
#include "handles.hpp"
#include "node.hpp"

namespace depman {
namespace {

#if defined(_WIN32)
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

}  // namespace

// Marks the facade busy while it may call host code (actions, notification
// targets). An edit refuses to start after Unload, or while the facade is
// busy: a host callback that edited the document would pull nodes, chains or
// registry entries from under the operation that called it.
class Depman::EditScope {
 public:
  enum Kind { kQuery, kEdit };

  EditScope(Depman& owner, Kind kind, const char* operation) : m_owner(owner) {
    if (kind == kEdit && owner.m_nodes == nullptr) {
      throw std::logic_error(std::string("depman: ") + operation + " after Unload");
    }
    if (kind == kEdit && owner.m_busy > 0) {
      throw std::logic_error(std::string("depman: ") + operation +
                             " from a callback of another depman operation");
    }
    ++m_owner.m_busy;
  }
  EditScope(const EditScope&) = delete;
  EditScope& operator=(const EditScope&) = delete;
  ~EditScope() {
    // Targets replaced from inside a notice are let go once no call is running.
    if (--m_owner.m_busy == 0) m_owner.m_retired_notify.clear();
  }

 private:
  Depman& m_owner;
};

Depman::Depman()
    : m_dm(std::make_unique<DepManager>()),
      m_nodes(std::make_unique<NodeList>()),
      m_node_to_pos(std::make_unique<HandleIndex>()) {}

Depman::~Depman() {
  try {
    m_notify_outer.reset();  // a document going away notifies nobody
    Unload();
  } catch (...) {
    // Everything is freed regardless; a destructor has nobody to report to.
  }
}

Position* Depman::GetPosition(int32_t h) const {
  if (m_nodes == nullptr) return nullptr;  // the maps outlive the nodes
  return m_node_to_pos->find(h);
}

int32_t Depman::GetHandle(const Position* p) const { return p->handle(); }

void Depman::SetHandle(Position* p, int32_t h) {
  if (h > m_max_handle) m_max_handle = h;
  m_node_to_pos->set(h, p);
}

// A handle given to a second node names that node only; removing the first
// node then leaves the handle to the second.
void Depman::UnsetHandle(const Position* p) { m_node_to_pos->unset(p->handle(), p); }

int32_t Depman::IssueHandle() {
  if (m_max_handle == std::numeric_limits<int32_t>::max()) {
    throw std::overflow_error("depman: no handle is left to issue");
  }
  return ++m_max_handle;
}

void Depman::RegisterNotify(const Engine::FunctionRef& f) {
  if (f == nullptr) {
    RegisterNotify(NotifyRef());
    return;
  }
  auto adapter = std::make_shared<FNotify>(f);
  RegisterNotify(
      std::make_shared<Notify>([adapter](int32_t h, Status s) { adapter->Invoke(h, s); }));
}

// A target replaced while a call is running may be the one sending a notice
// right now: it is kept until the call ends.
void Depman::RegisterNotify(const NotifyRef& n) {
  NotifyRef old = std::exchange(m_notify_outer, n);
  if (m_busy > 0 && old != nullptr) m_retired_notify.push_back(std::move(old));
}

void Depman::AddAfter(int32_t h, const ActionRef& a, int32_t newhandle, int32_t lazy) {
  EditScope scope(*this, EditScope::kEdit, "AddAfter");
  Insert(h, a, newhandle, lazy, Side::kAfter);
}

int32_t Depman::AddAfter(int32_t h, const ActionRef& a, int32_t lazy) {
  EditScope scope(*this, EditScope::kEdit, "AddAfter");
  const int32_t newhandle = IssueHandle();
  Insert(h, a, newhandle, lazy, Side::kAfter);
  return newhandle;
}

void Depman::AddBefore(int32_t h, const ActionRef& a, int32_t newhandle, int32_t lazy) {
  EditScope scope(*this, EditScope::kEdit, "AddBefore");
  Insert(h, a, newhandle, lazy, Side::kBefore);
}

int32_t Depman::AddBefore(int32_t h, const ActionRef& a, int32_t lazy) {
  EditScope scope(*this, EditScope::kEdit, "AddBefore");
  const int32_t newhandle = IssueHandle();
  Insert(h, a, newhandle, lazy, Side::kBefore);
  return newhandle;
}

void Depman::Insert(int32_t h, const ActionRef& a, int32_t newhandle, int32_t lazy, Side side) {
  // The node sends to whatever target the document holds at the time.
  auto* node = new Position(m_dm.get(), m_notify_outer, newhandle);
  if (side == Side::kAfter) {
    node->insert_after(m_nodes.get(), GetPosition(h));
  } else {
    node->insert_before(m_nodes.get(), GetPosition(h));
  }
  // The list owns the node from here on.
  SetHandle(node, newhandle);
  UpdateNode(node, a, lazy);
}

void Depman::Remove(int32_t h) {
  if (m_nodes == nullptr) return;  // after Unload no handle names a node
  EditScope scope(*this, EditScope::kEdit, "Remove");
  Position* node = GetPosition(h);
  if (node == nullptr) return;
  std::exception_ptr failure;
  try {
    node->update(nullptr, m_deps_enabled);
  } catch (...) {
    if (node->chain() != nullptr) throw;  // nothing was withdrawn: the node stays
    failure = std::current_exception();   // withdrawn; a notice failed: finish the removal
  }
  m_dm->on_remove(node);
  UnsetHandle(node);
  delete node;  // unlinks itself
  if (failure) std::rethrow_exception(failure);
}

void Depman::Update(int32_t h, const ActionRef& a, int32_t lazy) {
  EditScope scope(*this, EditScope::kEdit, "Update");
  if (Position* node = GetPosition(h)) UpdateNode(node, a, lazy);
}

void Depman::UpdateNode(Position* node, const ActionRef& a, int32_t lazy) {
  node->set_lazy(lazy != 0);
  try {
    node->update(a, m_deps_enabled);
  } catch (...) {
    m_dm->needs_eval(node);
    throw;
  }
  m_dm->needs_eval(node);
}

ObjectRef Depman::GetValue(int32_t h, std::wstring_view name) {
  const DictionaryRef* values = Evaluate(h);
  return values != nullptr && *values != nullptr ? (*values)->Get(name) : nullptr;
}

DictionaryRef Depman::GetValueAt(int32_t h, std::wstring_view name) {
  Position* node = GetPosition(h);
  if (node == nullptr) return nullptr;
  return m_dm->resolve(name, node, ResolveMode::AT_OR_BEFORE, false);
}

int32_t Depman::IsBoundAt(int32_t h, std::wstring_view name) {
  Position* node = GetPosition(h);
  if (node == nullptr) return 0;
  return m_dm->is_bound(name, node, ResolveMode::AT_OR_BEFORE);
}

DictionaryRef Depman::GetAllValues(int32_t h) {
  const DictionaryRef* values = Evaluate(h);
  return values != nullptr ? *values : nullptr;
}

// Brings every node through `h` up to date and evaluates `h` even if lazy;
// its result is lent where the node keeps it.
const DictionaryRef* Depman::Evaluate(int32_t h) {
  Position* node = GetPosition(h);
  if (node == nullptr) return nullptr;
  EditScope scope(*this, EditScope::kQuery, "GetAllValues");
  m_dm->eval_to(node);
  return node->eval_lent(true);
}

DictionaryRef Depman::Ready(int32_t h) {
  Position* node = GetPosition(h);
  return node != nullptr ? node->ready() : nullptr;
}

ListRef Depman::GetHandles() {
  if (m_nodes == nullptr) return std::make_shared<List>();
  auto handles = std::make_shared<List>(static_cast<std::size_t>(m_nodes->length()));
  for (auto* p = static_cast<Position*>(m_nodes->first()); p != nullptr; p = p->next()) {
    handles->Append(std::make_shared<Box<int32_t>>(GetHandle(p)));
  }
  return handles;
}

int32_t Depman::GetLastHandle() {
  if (m_nodes == nullptr || m_nodes->last() == nullptr) return 0;
  return GetHandle(static_cast<Position*>(m_nodes->last()));
}

void Depman::ClearChain(int32_t h, int32_t depth) {
  if (m_nodes == nullptr) return;
  EditScope scope(*this, EditScope::kEdit, "ClearChain");
  Position* node = GetPosition(h);
  if (node == nullptr) return;
  // Later nodes may hold results computed from the values being dropped,
  // and the links that go take their dependencies with them: once the node
  // had run again, a change of what those links read would no longer reach
  // the later nodes. So they are invalidated now, as if the node's names had
  // changed (unless invalidation is off). The names are read first: if that
  // fails, nothing has changed.
  const ListRef defs = m_deps_enabled ? node->GetDefs() : nullptr;
  std::exception_ptr failure;
  bool cleared = true;  // a clearing that fails half way has dropped something
  try {
    cleared = node->clear(depth);
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    if (cleared && defs != nullptr) m_dm->invalidateChains(*defs, node);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  m_dm->needs_eval(node);
  if (failure) std::rethrow_exception(failure);
}

void Depman::Unload() {
  if (m_nodes == nullptr) return;
  EditScope scope(*this, EditScope::kEdit, "Unload");
  // Withdraw every node without invalidating anything. A host failure on the
  // way does not stop the unloading: every node and action goes regardless,
  // and the first failure is reported at the end.
  std::exception_ptr failure;
  for (auto* p = static_cast<Position*>(m_nodes->first()); p != nullptr; p = p->next()) {
    try {
      p->update(nullptr, false);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  m_nodes.reset();  // destroys the nodes, last to first, with any chain left
  m_dm.reset();
  if (failure) std::rethrow_exception(failure);
}

void Depman::DisableDeps() { m_deps_enabled = false; }

void Depman::EnableDeps() { m_deps_enabled = true; }

void Depman::DumpNodes(std::wstring_view filename) {
  EditScope scope(*this, EditScope::kQuery, "DumpNodes");
  // The whole text is built first, so a failing action text writes nothing.
  std::string text;
  const auto line = [&text](std::string_view content) { (text += content) += kLineEnd; };
  line("Start of node dump");
  line("");
  if (m_nodes != nullptr) {
    for (auto* p = static_cast<Position*>(m_nodes->first()); p != nullptr; p = p->next()) {
      const std::string chain = p->ToStrng();
      const std::wstring shown =
          ::depman::ToString(Substring{chain.data(), chain.data() + chain.size()});
      line("Handle " + std::to_string(GetHandle(p)) + ": " + ::depman::ToStrng(shown));
      line("");
    }
  }
  line("End of node dump");
  line("");
  AppendToFile(filename, text);
}

}  // namespace depman
