// The contracts between a host and depman: status and resolve enumerations,
// the notification callback, the interfaces a host implements (Action,
// ActionFactory) or calls (Environment, IDepman), and ConstAction.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "depman/host.hpp"

namespace depman {

// The status of a node as reported to the host.
enum class Status : int32_t {
  NODE_INVALID = 0,    // a definition the node read has changed
  NODE_COMPUTING,      // the node's outermost computation began
  NODE_NOT_COMPUTING,  // the node's outermost computation ended, normally or not
  NODE_READY,          // the node's result is ready (not sent by depman itself)
  NODE_SYNC,           // never sent by depman
};

// Which definition of a name a node sees.
enum class ResolveMode : int32_t {
  AT = 0,        // only the node's own definition
  BEFORE,        // the nearest definition strictly before the node
  AT_OR_BEFORE,  // the node's own definition, else the nearest before it
};

// The enumerator's name, e.g. L"NODE_COMPUTING"; the text of a Box<Status>.
std::wstring BoxText(Status status);

// The status callback: receives a node's handle and its new status.
class Notify final : public Object {
 public:
  using Target = std::function<void(int32_t handle, Status status)>;

  // A callback that calls `target`.
  explicit Notify(Target target) : m_target(std::move(target)) {}

  // Calls the target synchronously; does nothing when it is empty.
  void Invoke(int32_t handle, Status status) const {
    if (m_target) m_target(handle, status);
  }

 private:
  Target m_target;
};

using NotifyRef = std::shared_ptr<Notify>;

// How an action sees the document while it runs.
class Environment : public Object {
 public:
  // The result dictionary of the nearest earlier node that defines `name`,
  // computed first if needed; none when no earlier node defines it. Every name
  // looked up becomes a dependency of the running node.
  virtual DictionaryRef Lookup(std::wstring_view name) = 0;
};

using EnvironmentRef = std::shared_ptr<Environment>;

class Action;
using ActionRef = std::shared_ptr<Action>;

// A node's computation, implemented by the host.
class Action : public Object {
 public:
  // Computes the node's result dictionary, looking names up through `env`.
  // Must return a dictionary; an entry "%next" holding an Action names a
  // follow-up whose dictionary becomes the node's result instead.
  virtual DictionaryRef Invoke(const EnvironmentRef& env) = 0;
  // The names this action defines (Strings), the same on every call; none for none.
  virtual ListRef GetDefs() = 0;
  // Called once for every chain link that held the action, when the link goes.
  virtual void Release() = 0;
};

// Makes actions from host objects; declared for hosts, never called by depman.
class ActionFactory : public Object {
 public:
  // A new action built from `source`.
  virtual ActionRef NewAction(ObjectRef source) = 0;
};

// An action that yields one constant under "%result" and defines no names.
class ConstAction final : public Action {
 public:
  // An action whose result dictionary holds `value` (may be none) under "%result".
  explicit ConstAction(ObjectRef value);

  // The same dictionary on every call; looks nothing up.
  DictionaryRef Invoke(const EnvironmentRef& env) override;
  // None: defines no names.
  ListRef GetDefs() override { return nullptr; }
  // None: reads no names.
  ListRef GetDeps() { return nullptr; }
  // Does nothing.
  void Release() override {}

 private:
  DictionaryRef m_env;
};

// The host's interface to a document; implemented by Depman.
class IDepman : public Object {
 public:
  // Sends later notifications to the host function `f` (handle, status).
  virtual void RegisterNotify(const Engine::FunctionRef& f) = 0;
  // Sends later notifications to `n`; none stops them.
  virtual void RegisterNotify(const NotifyRef& n) = 0;
  // Adds a node with handle `newhandle` and action `a` after node `h`.
  virtual void AddAfter(int32_t h, const ActionRef& a, int32_t newhandle, int32_t lazy) = 0;
  // Adds a node with action `a` after node `h`; returns its new handle.
  virtual int32_t AddAfter(int32_t h, const ActionRef& a, int32_t lazy) = 0;
  // Adds a node with handle `newhandle` and action `a` before node `h`.
  virtual void AddBefore(int32_t h, const ActionRef& a, int32_t newhandle, int32_t lazy) = 0;
  // Adds a node with action `a` before node `h`; returns its new handle.
  virtual int32_t AddBefore(int32_t h, const ActionRef& a, int32_t lazy) = 0;
  // Withdraws node `h`'s definitions and deletes it.
  virtual void Remove(int32_t h) = 0;
  // Replaces node `h`'s action and lazy flag.
  virtual void Update(int32_t h, const ActionRef& a, int32_t lazy) = 0;
  // The value under `name` in node `h`'s result, computing what is needed.
  virtual ObjectRef GetValue(int32_t h, std::wstring_view name) = 0;
  // The ready result of the node whose definition of `name` node `h` sees; computes nothing.
  virtual DictionaryRef GetValueAt(int32_t h, std::wstring_view name) = 0;
  // 1 when node `h` sees a definition of `name`, else 0.
  virtual int32_t IsBoundAt(int32_t h, std::wstring_view name) = 0;
  // Brings the document up to date through node `h` and returns its result.
  virtual DictionaryRef GetAllValues(int32_t h) = 0;
  // Node `h`'s result if it is up to date, else none; computes nothing.
  virtual DictionaryRef Ready(int32_t h) = 0;
  // The handles of all nodes (Box<int32_t>), in document order.
  virtual ListRef GetHandles() = 0;
  // Releases every action and frees the document.
  virtual void Unload() = 0;
  // Later edits stop invalidating dependents.
  virtual void DisableDeps() = 0;
  // Later edits invalidate dependents again.
  virtual void EnableDeps() = 0;
  // Appends a UTF-8 listing of every node to the file `filename`.
  virtual void DumpNodes(std::wstring_view filename) = 0;
};

}  // namespace depman
