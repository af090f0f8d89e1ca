// Evaluation: a node's chain of action links with its cached result and
// recorded dependencies, and the three environments an action looks names up
// through.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

#include "depman/contracts.hpp"
#include "prefetch.hpp"

namespace depman {

class DepManager;
class Position;
class ActionChain;
class NameEntry;
class StringTest;

// Resolves a name at its node's place, strictly before the node, evaluating
// the defining node when its result is not ready.
class PositionalEnv final : public Environment {
 public:
  PositionalEnv() = default;
  // Places the environment at node `p` of the document that `d` manages.
  void bind(DepManager* d, Position* p) noexcept {
    m_depman = d;
    m_pos = p;
  }
  DepManager* manager() const noexcept { return m_depman; }
  Position* position() const noexcept { return m_pos; }
  DictionaryRef Lookup(std::wstring_view name) override;
  // The same for a name the registry knows already.
  DictionaryRef Lookup(const NameEntry* name);
  // The same, lending the dictionary instead of sharing it: it stays valid
  // until the next evaluation or edit.
  const Dictionary* Find(const NameEntry* name);

 private:
  DepManager* m_depman = nullptr;
  Position* m_pos = nullptr;
};

// Records every name looked up as a dependency of its link, then passes the
// lookup on to the environment of the link's node.
class DepTrackingEnv final : public Environment {
 public:
  explicit DepTrackingEnv(ActionChain* c) : m_chain(c) {}

  DictionaryRef Lookup(std::wstring_view name) override { return LookupRecorded(name).first; }
  // The dictionary found, and the index of the name among the link's
  // dependencies.
  std::pair<DictionaryRef, std::size_t> LookupRecorded(std::wstring_view name);
  // Looks up a name recorded already, recording nothing.
  DictionaryRef LookupAgain(const NameEntry* name);
  // The same, lending the dictionary (see PositionalEnv::Find).
  const Dictionary* FindAgain(const NameEntry* name);

  // The link, or none once it is gone.
  ActionChain* chain() const noexcept { return m_chain; }
  void detach() noexcept { m_chain = nullptr; }

 private:
  ActionChain* m_chain;
};

// The environment an action receives. Remembers the value found for every
// name so that, after an invalidation, the link runs again only when one of
// those values has really changed. The remembered values are kept with the
// link's dependencies, which hold every name that can be in the table.
class CachingEnv final : public Environment {
 public:
  explicit CachingEnv(ActionChain* chain) : m_env(chain) {}

  // The dictionary of the definer of `name`, or none; caches its value.
  DictionaryRef Lookup(std::wstring_view name) override;

  // Whether some remembered value differs from what the name finds now;
  // true as well when nothing is remembered. A change empties the table.
  bool values_changed();
  // Cuts the environment off from its link, which is going away: later
  // lookups (by an action that kept the environment) find nothing.
  void detach() noexcept { m_env.detach(); }

 private:
  void clear_table() noexcept;
  // The document's test, for telling remembered strings from other values.
  StringTest& string_test() const;

  DepTrackingEnv m_env;
};

// Tells Strings from other values, for the change test. String is final, so
// comparing type identities is exact; the test remembers the last other type
// it met, so that the usual case, a value of that type again, costs one
// comparison of pointers.
class StringTest {
 public:
  bool operator()(const Object& o) noexcept;

 private:
  const std::type_info* m_other = nullptr;
};

// A name a link has looked up. While it is in the change test's table, what
// it remembers of the value at the last lookup: none when missing, the
// string, or NeverEqual() for any other value; otherwise NotCached().
struct Dependency {
  // Marks a dependency whose value is not remembered.
  static const ObjectRef& NotCached() noexcept { return Marker<0>(); }
  // Marks a remembered value that no value counts as equal to.
  static const ObjectRef& NeverEqual() noexcept { return Marker<1>(); }

  bool cached() const noexcept { return value != NotCached(); }

  NameEntry* name = nullptr;
  ObjectRef value = NotCached();

 private:
  // A pointer to a static object that owns nothing (it aliases an empty
  // owner), so copying it costs no reference count.
  template <int N>
  static const ObjectRef& Marker() noexcept {
    static Object object;
    static const ObjectRef marker(ObjectRef(), &object);
    return marker;
  }
};

// The names a link has read, in the order it first read them. Most links
// read a single name, so the first is held in place and only the rest on
// the heap.
class Dependencies {
 public:
  std::size_t size() const noexcept {
    return m_first.name == nullptr ? 0 : 1 + (m_rest != nullptr ? m_rest->size() : 0);
  }
  Dependency& operator[](std::size_t i) noexcept { return i == 0 ? m_first : (*m_rest)[i - 1]; }
  const Dependency& operator[](std::size_t i) const noexcept {
    return i == 0 ? m_first : (*m_rest)[i - 1];
  }
  // Appends `name`, its value not remembered.
  void push_back(NameEntry* name);
  void clear() noexcept;

 private:
  Dependency m_first;
  std::unique_ptr<std::vector<Dependency>> m_rest;
};

// One link of a node's chain: binds an action to the node, keeps its result
// and the names it read. The head link has sequence number 0; each link
// owns the successor that its action named under "%next".
class ActionChain {
 public:
  ActionChain(Position* pos, ActionRef action, uint32_t seq_no);
  ActionChain(const ActionChain&) = delete;
  ActionChain& operator=(const ActionChain&) = delete;
  // Withdraws the dependencies of this link and its successors, then
  // releases their actions from the last link to this one. A failing
  // Release is dropped here; use dispose() to let it reach the caller.
  ~ActionChain();

  // Destroys a whole chain like the destructor, but rethrows the first
  // failure of an action's Release once every link has been taken down.
  static void dispose(std::unique_ptr<ActionChain> head);

  // Records that this link read `name` (once per name); returns its index
  // among the link's dependencies.
  std::size_t add_dep(std::wstring_view name);
  // Withdraws every recorded name from the registry.
  void unregister_deps();
  Dependencies& deps() noexcept { return m_deps; }

  // The chain's result if no link from here on is invalidated; never computes.
  DictionaryRef ready() const;
  // The same, lent: the chain's own pointer, or none.
  const DictionaryRef* ready_lent() const noexcept;
  // Validates the links, runs the actions that must run and returns the
  // result of the last link.
  const DictionaryRef& eval();
  // Marks the link for the change test before its result is used again.
  void invalidate() noexcept;
  // Drops the result and every link after this one.
  void clear_result();
  // Clears the chain from the link numbered `depth` (the head for depth <= 0);
  // nothing when the chain is shorter. Whether a link was cleared.
  bool clear(int32_t depth);

  // The names the action of this link defines, or none.
  ListRef GetDefs() const;
  int32_t seq_no() const noexcept { return m_seq_no; }
  // Asks for the cache line of the flag that invalidate() sets.
  [[gnu::always_inline]] void prefetch_check_flag() const noexcept { Prefetch(&m_needs_check); }
  Position* position() const noexcept { return m_position; }
  // The texts of the actions from this link on, run together, as UTF-8.
  std::string ToStrng() const;

  ActionChain* next() const noexcept { return m_next.get(); }
  const DictionaryRef& result() const noexcept { return m_result; }

 private:
  // Beyond this many names, a link finds its dependencies through an index.
  static constexpr std::size_t kLinearDeps = 16;

  std::exception_ptr teardown() noexcept;
  void forget_deps() noexcept;
  std::size_t find_dep(const NameEntry* name) const;
  DictionaryRef run_action();
  ActionChain* make_successor(const DictionaryRef& d);

  DepManager* manager() const noexcept;

  Position* m_position;
  ActionRef m_action;
  std::shared_ptr<CachingEnv> m_caching_env;
  DictionaryRef m_result;
  Dependencies m_deps;
  std::unique_ptr<std::unordered_map<const NameEntry*, std::size_t>> m_dep_index;
  std::unique_ptr<ActionChain> m_next;
  int32_t m_seq_no;
  bool m_busy = false;         // its action or change test is running
  bool m_needs_check = false;  // invalidated: the change test decides before the result is used
  // Lookups since the action last started (wrapping): the index of the
  // dependency that the next lookup most likely repeats.
  uint16_t m_lookups = 0;
};

}  // namespace depman
