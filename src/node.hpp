// A node of the document: its handle, flags, positional environment, owned
// action chain and compute bracket.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "depman/contracts.hpp"
#include "eval.hpp"
#include "inline_vector.hpp"
#include "order.hpp"
#include "prefetch.hpp"

namespace depman {

class ActionChain;
class DepManager;
class Position;
class NameEntry;

// A node's place in the registry's list of nodes that may need work.
struct StaleLinks {
  Position* prev = nullptr;
  Position* next = nullptr;
};

// The state and behaviour of a node; Position adds its place in the list.
class PositionBase {
 public:
  PositionBase();
  PositionBase(const PositionBase&) = delete;
  PositionBase& operator=(const PositionBase&) = delete;
  virtual ~PositionBase();

  // Makes this node `p`, with handle `h`, in the document that `d` manages.
  // It notifies whatever target `n` holds at the time; `n` must outlive it.
  void initialize(DepManager* d, const NotifyRef& n, Position* p, int32_t h);

  // Replaces the chain with one for `a` (none leaves no chain), withdrawing
  // the old names and registering the new ones, invalidating when asked.
  void update(const ActionRef& a, bool bInvalidate);
  // Registers (or withdraws) every name of `defs` at this node, then
  // invalidates their dependents when asked.
  void registerDefs(const ListRef& defs, bool bRegister, bool bInvalidate);
  // The registry entries of the names in `defs`, when `defs` is the very
  // list this node registered (as an action whose names are fixed returns
  // every time); none otherwise.
  const InlineVector<NameEntry*, 1>* registered_names(const ListRef& defs) const;
  // Asks for the cache lines that marking the node stale and notifying it
  // read: the fields from the notification target to the flags.
  [[gnu::always_inline]] void prefetch_notice_fields() const noexcept {
    Prefetch(&m_notify);
    Prefetch(&m_lazy);
  }

  void set_lazy(bool b) noexcept { m_lazy = b; }
  bool lazy() const noexcept { return m_lazy; }
  void enable_notify(bool b) noexcept { m_notify_enabled = b; }

  // The chain's up-to-date result, or none; never computes.
  DictionaryRef ready() const;
  // The same, lent: the chain's own pointer to it, or none.
  const DictionaryRef* ready_lent() const noexcept;
  // Brings the chain up to date and returns its result; a lazy node is only
  // read unless `force` is set. None without a chain.
  DictionaryRef eval(bool force);
  // The same, lent: the chain's own pointer to the result (valid until the
  // chain changes), or none without a chain or result.
  const DictionaryRef* eval_lent(bool force);
  // Clears the chain from link `depth` on; whether a link was cleared.
  bool clear(int32_t depth);
  // The names the head action defines, or none.
  ListRef GetDefs() const;
  // The node's environment. It does not own the node: it is valid while the
  // node exists.
  EnvironmentRef env() noexcept;
  PositionalEnv& positional_env() noexcept { return m_env; }
  // The text of the chain: its actions' texts run together, as UTF-8.
  std::string ToStrng() const;

  void StartCompute();
  void EndCompute();
  void NotifyReady() { send(Status::NODE_READY); }
  void Invalidate() { send(Status::NODE_INVALID); }

  int32_t handle() const noexcept { return m_handle; }
  DepManager* manager() const noexcept { return m_env.manager(); }
  ActionChain* chain() const noexcept { return m_chain.get(); }
  int32_t compute_depth() const noexcept { return m_compute_depth; }
  // The node's links in the registry's list of nodes that may need work.
  StaleLinks& stale_links() noexcept { return m_stale_links; }
  const StaleLinks& stale_links() const noexcept { return m_stale_links; }
  // Marks the node as reached by invalidation walk number `walk`; false when
  // that walk has reached it already.
  bool reach(uint64_t walk) noexcept {
    if (m_reached_by == walk) return false;
    m_reached_by = walk;
    return true;
  }

 protected:
  // Destroys the chain, if any; a failing Release is dropped. The node calls
  // it from its destructor, while it is still whole: the chain withdraws its
  // dependencies from registries ordered by the node's ordinal.
  void destroy_chain() noexcept;

 private:
  void send(Status s) const;

  Position* self() const noexcept { return m_env.position(); }

  // The fields an invalidation walk reads come last, next to the ordinal
  // that the list part adds, so that a node reached costs few cache lines.

  // Also tells the node its manager and the Position it is.
  PositionalEnv m_env;
  // Where the document holds its notification target (which may change).
  const NotifyRef* m_notify = nullptr;
  StaleLinks m_stale_links;
  int32_t m_handle = 0;
  int32_t m_compute_depth = 0;
  std::unique_ptr<ActionChain> m_chain;
  bool m_notify_enabled = true;
  bool m_lazy = false;
  uint64_t m_reached_by = 0;
  // What the last registration registered, to spare the registry a lookup
  // by name for each of them when invalidation reaches this node.
  ListRef m_registered_list;
  InlineVector<NameEntry*, 1> m_registered;
};

// The document's node: PositionBase with its links and ordinal.
class Position final : public OrderedListNode<PositionBase> {
 public:
  // `n` must outlive the node.
  Position(DepManager* d, const NotifyRef& n, int32_t h) { initialize(d, n, this, h); }
  ~Position() override;

  Position* next() const noexcept { return static_cast<Position*>(next_node()); }
  Position* previous() const noexcept { return static_cast<Position*>(previous_node()); }
};

using NodeList = OrderedList<PositionBase>;

// Scope guard around one computation of a node: opens its compute bracket on
// construction. close() closes it when the computation succeeded, and may
// throw (a failing notification); on any other way out the destructor closes
// it and drops a failure of the closing notification, so that the
// computation's own error reaches the caller.
class compute_loc {
 public:
  explicit compute_loc(Position* r);
  compute_loc(const compute_loc&) = delete;
  compute_loc& operator=(const compute_loc&) = delete;
  ~compute_loc();

  void close();

 private:
  Position* m_pos;  // none once closed
};

}  // namespace depman
