// depman: an in-process dependency manager for calculation documents.
// A host includes this header and nothing else.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "depman/contracts.hpp"
#include "depman/host.hpp"

namespace depman {

class DepManager;
class HandleIndex;
class Position;
class PositionBase;
template <class T>
class OrderedList;

// One calculation document: the nodes in document order, their actions and
// the dependency engine that keeps their results up to date.
class Depman final : public IDepman {
 public:
  // An empty document; issued handles start at 1.
  Depman();
  Depman(const Depman&) = delete;
  Depman& operator=(const Depman&) = delete;
  // Unloads the document if the host has not (every action released once,
  // nothing notified).
  ~Depman() override;

  // Sends later notifications to the host function `f` (handle, status).
  void RegisterNotify(const Engine::FunctionRef& f) override;
  // Sends later notifications to `n`; none stops them.
  void RegisterNotify(const NotifyRef& n) override;
  // Adds a node with handle `newhandle` and action `a` after node `h` (after
  // the first node when `h` names none).
  void AddAfter(int32_t h, const ActionRef& a, int32_t newhandle, int32_t lazy) override;
  // Adds a node with action `a` after node `h`; returns its new handle.
  int32_t AddAfter(int32_t h, const ActionRef& a, int32_t lazy) override;
  // Adds a node with handle `newhandle` and action `a` before node `h` (at the
  // front when `h` names none).
  void AddBefore(int32_t h, const ActionRef& a, int32_t newhandle, int32_t lazy) override;
  // Adds a node with action `a` before node `h`; returns its new handle.
  int32_t AddBefore(int32_t h, const ActionRef& a, int32_t lazy) override;
  // Withdraws node `h`'s definitions (invalidating their dependents) and deletes it.
  void Remove(int32_t h) override;
  // Replaces node `h`'s action (none for no action) and lazy flag.
  void Update(int32_t h, const ActionRef& a, int32_t lazy) override;
  // The value under `name` in node `h`'s result, computing what is needed; none if absent.
  ObjectRef GetValue(int32_t h, std::wstring_view name) override;
  // The ready result of the node whose definition of `name` node `h` sees; computes nothing.
  DictionaryRef GetValueAt(int32_t h, std::wstring_view name) override;
  // 1 when node `h` sees a definition of `name` (its own or an earlier one), else 0.
  int32_t IsBoundAt(int32_t h, std::wstring_view name) override;
  // Brings every node through `h` up to date and returns `h`'s result (even if lazy).
  DictionaryRef GetAllValues(int32_t h) override;
  // Node `h`'s result if it is up to date, else none; computes nothing.
  DictionaryRef Ready(int32_t h) override;
  // The handles of all nodes as Box<int32_t>, in document order.
  ListRef GetHandles() override;
  // Releases every action and frees the document; later edits throw std::logic_error.
  void Unload() override;
  // Later edits stop invalidating dependents.
  void DisableDeps() override;
  // Later edits invalidate dependents again (earlier edits stay unreported).
  void EnableDeps() override;
  // Appends a UTF-8 listing of every node to `filename`; throws std::system_error
  // when the file cannot be opened.
  void DumpNodes(std::wstring_view filename) override;

  // The handle of the last node, or 0 for an empty document.
  int32_t GetLastHandle();
  // Drops node `h`'s chain from link `depth` on, so that it is computed again.
  void ClearChain(int32_t h, int32_t depth);

 private:
  class EditScope;
  enum class Side { kAfter, kBefore };

  Position* GetPosition(int32_t h) const;
  int32_t GetHandle(const Position* p) const;
  void SetHandle(Position* p, int32_t h);
  void UnsetHandle(const Position* p);
  int32_t IssueHandle();
  void Insert(int32_t h, const ActionRef& a, int32_t newhandle, int32_t lazy, Side side);
  void UpdateNode(Position* node, const ActionRef& a, int32_t lazy);
  const DictionaryRef* Evaluate(int32_t h);

  // The notification target; the nodes read it where it is held.
  NotifyRef m_notify_outer;
  // Targets replaced during a call, kept until it ends.
  std::vector<NotifyRef> m_retired_notify;
  std::unique_ptr<DepManager> m_dm;
  std::unique_ptr<OrderedList<PositionBase>> m_nodes;
  bool m_deps_enabled = true;
  // Each node also keeps its own handle, so the map back from node to
  // handle is the node itself.
  std::unique_ptr<HandleIndex> m_node_to_pos;
  int32_t m_max_handle = 0;
  int m_busy = 0;  // depth of host callbacks that may call back into us
};

}  // namespace depman
