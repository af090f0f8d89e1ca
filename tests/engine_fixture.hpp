// A small document for tests of the dependency engine and of evaluation: a
// node list with its DepManager, actions given by lambdas that count their
// calls, and a record of every notification the nodes send.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "depman/contracts.hpp"
#include "engine.hpp"
#include "eval.hpp"
#include "node.hpp"

namespace depman::engine_test {

inline constexpr std::wstring_view kNext = L"%next";

// What a test action computes from the environment it is given.
using Body = std::function<DictionaryRef(const EnvironmentRef& env)>;

// An action given by a lambda, with a fixed list of defined names, that
// counts its Invoke and Release calls.
class TestAction final : public Action {
 public:
  TestAction(ListRef defs, Body body, std::wstring text)
      : m_defs(std::move(defs)), m_body(std::move(body)), m_text(std::move(text)) {}

  DictionaryRef Invoke(const EnvironmentRef& env) override {
    ++m_invokes;
    return m_body(env);
  }
  ListRef GetDefs() override { return m_defs; }
  void Release() override {
    ++m_releases;
    if (m_on_release) m_on_release();
  }
  std::wstring ToString() const override { return m_text; }

  int invokes() const { return m_invokes; }
  int releases() const { return m_releases; }
  // Runs `f` after counting each Release.
  void set_on_release(std::function<void()> f) { m_on_release = std::move(f); }

 private:
  ListRef m_defs;
  Body m_body;
  std::wstring m_text;
  std::function<void()> m_on_release;
  int m_invokes = 0;
  int m_releases = 0;
};

using TestActionRef = std::shared_ptr<TestAction>;

inline TestActionRef MakeAction(ListRef defs, Body body, std::wstring text = L"test") {
  return std::make_shared<TestAction>(std::move(defs), std::move(body), std::move(text));
}

inline ObjectRef Str(std::wstring text) { return std::make_shared<String>(std::move(text)); }

inline DictionaryRef Dict(std::initializer_list<std::pair<std::wstring_view, ObjectRef>> entries) {
  auto d = std::make_shared<Dictionary>();
  for (const auto& [name, value] : entries) d->Set(name, value);
  return d;
}

inline ListRef Names(const std::vector<std::wstring>& names) {
  auto list = std::make_shared<List>(names.size());
  for (const std::wstring& name : names) list->Append(Str(name));
  return list;
}

// The characters of the String under `name` in `d`; empty when `d` is none
// or holds no String there.
inline std::wstring TextAt(const DictionaryRef& d, std::wstring_view name) {
  const auto* s = d != nullptr ? dynamic_cast<const String*>(d->Get(name).get()) : nullptr;
  return s != nullptr ? s->Value() : std::wstring();
}

// An action that defines `defs`, looks up every name of `reads` and returns
// the string "v" under each name it defines.
inline TestActionRef Reader(std::vector<std::wstring> reads, ListRef defs) {
  return MakeAction(defs, [reads = std::move(reads), defs](const EnvironmentRef& env) {
    for (const std::wstring& name : reads) env->Lookup(name);
    auto result = std::make_shared<Dictionary>();
    if (defs != nullptr) {
      for (const ObjectRef& name : *defs) result->Set(name->ToString(), Str(L"v"));
    }
    return result;
  });
}

// One notification sent by a node.
struct Event {
  int32_t handle;
  Status status;
};

// A node list and its registry, wired the way the facade wires them.
class TestDocument {
 public:
  TestDocument()
      : m_notify(std::make_shared<Notify>([this](int32_t h, Status s) {
          m_events.push_back({h, s});
        })) {}
  TestDocument(const TestDocument&) = delete;
  TestDocument& operator=(const TestDocument&) = delete;
  // Withdraws every action before the list and the registry go, as the
  // facade's Unload does.
  ~TestDocument() { WithdrawAll(); }

  // Adds a node at the end of the document; handles count up from 1.
  Position* Append(ActionRef action, bool lazy = false) {
    return Append(m_next_handle++, std::move(action), lazy);
  }
  Position* Append(int32_t handle, ActionRef action, bool lazy = false) {
    auto* node = new Position(&m_dm, m_notify, handle);
    node->insert_after(&m_nodes, m_nodes.last());
    return Install(node, action, lazy);
  }
  // Adds a node directly before `where`.
  Position* InsertBefore(Position* where, ActionRef action, bool lazy = false) {
    auto* node = new Position(&m_dm, m_notify, m_next_handle++);
    node->insert_before(&m_nodes, where);
    return Install(node, action, lazy);
  }
  // Withdraws the node's action, invalidating its dependents, and deletes it.
  void Destroy(Position* node) {
    node->update(nullptr, true);
    delete node;
  }
  // Withdraws every node's action without invalidating anything.
  void WithdrawAll() {
    for (Position* p = first(); p != nullptr; p = p->next()) p->update(nullptr, false);
  }

  Position* first() const { return static_cast<Position*>(m_nodes.first()); }
  DepManager& dm() { return m_dm; }

  // The notifications sent since the last call, as "handle STATUS".
  std::vector<std::string> TakeEvents() {
    std::vector<std::string> text;
    for (const Event& e : m_events) {
      text.push_back(std::to_string(e.handle) + " " + ToStrng(BoxText(e.status)));
    }
    m_events.clear();
    return text;
  }
  const std::vector<Event>& events() const { return m_events; }
  void ClearEvents() { m_events.clear(); }

 private:
  // Installs the action the way the facade does: lazy flag first, then the
  // update that registers the action's names and invalidates their dependents.
  static Position* Install(Position* node, const ActionRef& action, bool lazy) {
    node->set_lazy(lazy);
    node->update(action, true);
    return node;
  }

  DepManager m_dm;  // outlives the nodes, which point into it
  NodeList m_nodes;
  std::vector<Event> m_events;
  NotifyRef m_notify;
  int32_t m_next_handle = 1;
};

}  // namespace depman::engine_test
