#include "eval.hpp"

#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "engine.hpp"
#include "node.hpp"

namespace depman {
namespace {

constexpr std::wstring_view kNext = L"%next";

std::string NodeName(const Position* pos) { return "node " + std::to_string(pos->handle()); }

// What the change test remembers of a value found: none, a string, or that
// it was some other value, which never counts as the same as anything (not
// even itself), so it is not kept.
ObjectRef Remembered(const ObjectRef* found, StringTest& is_string) {
  if (found == nullptr || *found == nullptr) return nullptr;
  return is_string(**found) ? *found : Dependency::NeverEqual();
}

// Whether the value `name` has in `d` (none when `d` is none or lacks it) is
// the same as the one remembered: a string with the same characters, or none
// for none.
bool SameValue(const ObjectRef& before, const Dictionary* d, std::wstring_view name,
               StringTest& is_string) {
  if (before == Dependency::NeverEqual()) return false;
  const ObjectRef* found = d != nullptr ? d->Find(name) : nullptr;
  const Object* now = found != nullptr ? found->get() : nullptr;
  if (before == nullptr || now == nullptr) return before == nullptr && now == nullptr;
  return is_string(*now) &&
         static_cast<const String&>(*before).Value() == static_cast<const String&>(*now).Value();
}

// Marks a link busy for the length of a scope, refusing to enter a link that
// is busy already: that happens only when a host callback asks for the value
// of a node that is being computed, which would never end.
class BusyScope {
 public:
  BusyScope(bool& busy, const Position* pos) : m_busy(busy) {
    if (m_busy) {
      throw std::logic_error("depman: " + NodeName(pos) +
                             " was asked for its value while it is being computed");
    }
    m_busy = true;
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
  ~BusyScope() { m_busy = false; }

 private:
  bool& m_busy;
};

}  // namespace

bool StringTest::operator()(const Object& o) noexcept {
  const std::type_info& type = typeid(o);
  if (&type == m_other) return false;
  // Equal type_infos may be distinct objects (a type's information copied
  // into another shared library); == compares them by name.
  if (type == typeid(String)) return true;
  m_other = &type;
  return false;
}

DictionaryRef PositionalEnv::Lookup(std::wstring_view name) {
  return m_depman->resolve(name, m_pos, ResolveMode::BEFORE, true);
}

DictionaryRef PositionalEnv::Lookup(const NameEntry* name) {
  return m_depman->resolve(name, m_pos, ResolveMode::BEFORE, true);
}

const Dictionary* PositionalEnv::Find(const NameEntry* name) {
  return m_depman->resolve_lent(name, m_pos);
}

std::pair<DictionaryRef, std::size_t> DepTrackingEnv::LookupRecorded(std::wstring_view name) {
  // Recorded first, so that the name counts even when the lookup fails.
  const std::size_t index = m_chain->add_dep(name);
  DictionaryRef d = LookupAgain(m_chain->deps()[index].name);
  return {std::move(d), index};
}

DictionaryRef DepTrackingEnv::LookupAgain(const NameEntry* name) {
  return m_chain->position()->positional_env().Lookup(name);
}

const Dictionary* DepTrackingEnv::FindAgain(const NameEntry* name) {
  return m_chain->position()->positional_env().Find(name);
}

DictionaryRef CachingEnv::Lookup(std::wstring_view name) {
  if (m_env.chain() == nullptr) return nullptr;  // the link is gone
  auto [d, index] = m_env.LookupRecorded(name);
  Dependency& dep = m_env.chain()->deps()[index];
  dep.value = Remembered(d != nullptr ? d->Find(name) : nullptr, string_test());
  return d;
}

StringTest& CachingEnv::string_test() const {
  return m_env.chain()->position()->manager()->string_test();
}

bool CachingEnv::values_changed() {
  Dependencies& deps = m_env.chain()->deps();
  bool remembered = false;
  // Indexes, not iterators: looking a name up again evaluates other nodes,
  // never this link, so the vector keeps its size.
  for (std::size_t i = 0; i < deps.size(); ++i) {
    if (!deps[i].cached()) continue;
    remembered = true;
    // Looked up even when the answer is known: the lookup may evaluate the
    // definer, and it must do so now, before this node's own computation.
    const Dictionary* d = m_env.FindAgain(deps[i].name);
    if (!SameValue(deps[i].value, d, deps[i].name->name(), string_test())) {
      clear_table();
      return true;
    }
  }
  return !remembered;
}

void CachingEnv::clear_table() noexcept {
  Dependencies& deps = m_env.chain()->deps();
  for (std::size_t i = 0; i < deps.size(); ++i) deps[i].value = Dependency::NotCached();
}

void Dependencies::push_back(NameEntry* name) {
  if (m_first.name == nullptr) {
    m_first.name = name;
    return;
  }
  if (m_rest == nullptr) m_rest = std::make_unique<std::vector<Dependency>>();
  m_rest->push_back({name});
}

void Dependencies::clear() noexcept {
  m_first = Dependency();
  m_rest.reset();
}

ActionChain::ActionChain(Position* pos, ActionRef action, uint32_t seq_no)
    : m_position(pos),
      m_action(std::move(action)),
      m_caching_env(std::make_shared<CachingEnv>(this)),
      m_seq_no(static_cast<int32_t>(seq_no)) {}

ActionChain::~ActionChain() { teardown(); }

DepManager* ActionChain::manager() const noexcept { return m_position->manager(); }

std::exception_ptr ActionChain::teardown() noexcept {
  // Withdraw the dependencies of every link, front to back; then release the
  // actions back to front. Links are unhooked first so that a long chain is
  // destroyed without recursion.
  for (ActionChain* link = this; link != nullptr; link = link->m_next.get()) {
    link->unregister_deps();
    link->forget_deps();
  }
  std::vector<std::unique_ptr<ActionChain>> successors;
  for (auto link = std::move(m_next); link != nullptr;) {
    auto after = std::move(link->m_next);
    successors.push_back(std::move(link));
    link = std::move(after);
  }
  std::exception_ptr failure;
  const auto release = [&failure](ActionChain& link) {
    link.m_caching_env->detach();
    if (ActionRef action = std::move(link.m_action)) {
      try {
        action->Release();
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
  };
  while (!successors.empty()) {
    release(*successors.back());
    successors.pop_back();
  }
  release(*this);
  return failure;
}

void ActionChain::dispose(std::unique_ptr<ActionChain> head) {
  if (head == nullptr) return;
  std::exception_ptr failure = head->teardown();
  head.reset();
  if (failure) std::rethrow_exception(failure);
}

std::size_t ActionChain::find_dep(const NameEntry* name) const {
  if (m_dep_index != nullptr) {
    auto it = m_dep_index->find(name);
    return it == m_dep_index->end() ? m_deps.size() : it->second;
  }
  for (std::size_t i = 0; i < m_deps.size(); ++i) {
    if (m_deps[i].name == name) return i;
  }
  return m_deps.size();
}

std::size_t ActionChain::add_dep(std::wstring_view name) {
  // A run usually reads the names the previous run read, in the same order:
  // the name read at the same point last time is tried first, and a short
  // link tries the others too, all by comparing names, without hashing.
  const std::size_t hint = m_lookups++;
  if (hint < m_deps.size() && SameName(m_deps[hint].name->name(), name)) return hint;
  if (m_dep_index == nullptr) {
    for (std::size_t i = 0; i < m_deps.size(); ++i) {
      if (SameName(m_deps[i].name->name(), name)) return i;
    }
  }
  NameEntry* entry = manager()->intern(name);
  const std::size_t found = find_dep(entry);
  if (found < m_deps.size()) return found;
  m_deps.push_back(entry);
  ++entry->readers;
  if (m_dep_index != nullptr) {
    m_dep_index->emplace(entry, found);
  } else if (m_deps.size() > kLinearDeps) {
    m_dep_index = std::make_unique<std::unordered_map<const NameEntry*, std::size_t>>();
    for (std::size_t i = 0; i < m_deps.size(); ++i) m_dep_index->emplace(m_deps[i].name, i);
  }
  manager()->add_dep(entry, m_position, this);
  return found;
}

void ActionChain::unregister_deps() {
  for (std::size_t i = 0; i < m_deps.size(); ++i) {
    manager()->remove_dep(m_deps[i].name, m_position, this);
  }
}

// Lets go of the recorded names; the registry forgets a name nobody uses.
void ActionChain::forget_deps() noexcept {
  for (std::size_t i = 0; i < m_deps.size(); ++i) {
    --m_deps[i].name->readers;
    manager()->release_if_unused(m_deps[i].name);
  }
  m_deps.clear();
  m_dep_index.reset();
}

const DictionaryRef* ActionChain::ready_lent() const noexcept {
  const ActionChain* link = this;
  for (; link->m_next != nullptr; link = link->m_next.get()) {
    if (link->m_needs_check) return nullptr;
  }
  return link->m_needs_check || link->m_result == nullptr ? nullptr : &link->m_result;
}

DictionaryRef ActionChain::ready() const {
  const DictionaryRef* result = ready_lent();
  return result != nullptr ? *result : nullptr;
}

const DictionaryRef& ActionChain::eval() {
  // Up to date: no link awaits its change test and the last has a result.
  // (A busy link never has one: it is being checked or run.)
  if (const DictionaryRef* ready = ready_lent()) return *ready;
  // Validate: a link whose inputs really changed loses its result and its
  // successors, and becomes the last link.
  ActionChain* link = this;
  for (;;) {
    {
      BusyScope busy(link->m_busy, m_position);
      if (link->m_needs_check) {
        if (link->m_caching_env->values_changed()) {
          link->clear_result();
        } else {
          link->m_needs_check = false;
        }
      }
    }
    if (link->m_next == nullptr) break;
    link = link->m_next.get();
  }
  if (link->m_result != nullptr) return link->m_result;

  // Run the last link and every successor it names, inside one compute
  // bracket of the node (nested brackets would notify no differently). The
  // bracket closes before the result is returned: closing may throw (a
  // failing notification), and then no result must be in flight.
  compute_loc bracket(m_position);
  for (;;) {
    DictionaryRef d = link->run_action();
    ActionChain* successor = link->make_successor(d);
    if (successor == nullptr) {
      link->m_result = std::move(d);
      break;
    }
    link = successor;
  }
  bracket.close();
  return link->m_result;
}

DictionaryRef ActionChain::run_action() {
  DictionaryRef d;
  {
    BusyScope busy(m_busy, m_position);
    m_lookups = 0;
    d = m_action->Invoke(m_caching_env);
  }
  m_needs_check = false;
  if (d == nullptr) {
    throw std::logic_error("depman: the action of " + NodeName(m_position) +
                           " returned no dictionary");
  }
  return d;
}

ActionChain* ActionChain::make_successor(const DictionaryRef& d) {
  const ObjectRef* value = d->Find(kNext);
  if (value == nullptr || *value == nullptr) return nullptr;
  auto action = std::dynamic_pointer_cast<Action>(*value);
  if (action == nullptr) {
    throw std::logic_error("depman: the value under \"%next\" in the result of " +
                           NodeName(m_position) + " is not an Action");
  }
  m_next = std::make_unique<ActionChain>(m_position, std::move(action),
                                         static_cast<uint32_t>(m_seq_no) + 1);
  return m_next.get();
}

void ActionChain::invalidate() noexcept { m_needs_check = true; }

void ActionChain::clear_result() {
  m_result.reset();
  dispose(std::move(m_next));
}

bool ActionChain::clear(int32_t depth) {
  ActionChain* link = this;
  while (link->m_seq_no < depth) {
    if (link->m_next == nullptr) return false;
    link = link->m_next.get();
  }
  link->clear_result();
  return true;
}

ListRef ActionChain::GetDefs() const { return m_action->GetDefs(); }

std::string ActionChain::ToStrng() const {
  std::string text;
  for (const ActionChain* link = this; link != nullptr; link = link->m_next.get()) {
    text += ::depman::ToStrng(link->m_action->ToString());
  }
  return text;
}

}  // namespace depman
