// A node (Position) with a real DepManager: its compute bracket and
// notifications, its chain's entry points and the registration of names.
#include "node.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "depman/depman.hpp"
#include "engine.hpp"

namespace depman {
namespace {

struct ActionFailure : std::runtime_error {
  ActionFailure() : std::runtime_error("action failed") {}
};
struct NoticeFailure : std::runtime_error {
  NoticeFailure() : std::runtime_error("notification failed") {}
};

// An action whose names and body the test chooses; counts its calls.
class TestAction final : public Action {
 public:
  using Body = std::function<DictionaryRef(const EnvironmentRef&)>;

  explicit TestAction(ListRef defs = nullptr, Body body = nullptr)
      : m_defs(std::move(defs)), m_body(std::move(body)) {}

  DictionaryRef Invoke(const EnvironmentRef& env) override {
    ++invocations;
    return m_body ? m_body(env) : std::make_shared<Dictionary>();
  }
  ListRef GetDefs() override {
    if (on_get_defs) on_get_defs();
    return m_defs;
  }
  void Release() override { ++releases; }
  void set_defs(ListRef defs) { m_defs = std::move(defs); }

  int invocations = 0;
  int releases = 0;
  std::function<void()> on_get_defs;

 private:
  ListRef m_defs;
  Body m_body;
};

// A body that looks `name` up and returns a fresh dictionary.
TestAction::Body Reads(std::wstring name) {
  return [name](const EnvironmentRef& env) {
    env->Lookup(name);
    return std::make_shared<Dictionary>();
  };
}

// A body that names `next` as the follow-up action.
TestAction::Body Continues(ActionRef next) {
  return [next](const EnvironmentRef&) {
    auto d = std::make_shared<Dictionary>();
    d->Add(L"%next", next);
    return d;
  };
}

struct Event {
  int32_t handle;
  Status status;
  bool operator==(const Event&) const = default;
};

void PrintTo(const Event& e, std::ostream* os) {
  *os << "{" << e.handle << ", " << static_cast<int32_t>(e.status) << "}";
}

// Nodes in one list over one DepManager, all notifying into `events`.
class NodeTest : public testing::Test {
 protected:
  ~NodeTest() override {
    // The owner withdraws every node before the list destroys it.
    for (auto* p = static_cast<Position*>(nodes.first()); p != nullptr; p = p->next()) {
      p->update(nullptr, false);
    }
  }

  // A new node at the end of the document.
  Position* AddNode(int32_t handle) {
    auto* node = new Position(&dm, notify, handle);
    node->insert_after(&nodes, nodes.last());
    return node;
  }

  bool Bound(std::wstring_view name, Position* node) const {
    return dm.is_bound(name, node, ResolveMode::AT) == 1;
  }

  std::vector<Event> events;
  std::optional<Status> fail_on;  // the notification that throws, after it is recorded
  NotifyRef notify = std::make_shared<Notify>([this](int32_t h, Status s) {
    events.push_back({h, s});
    if (fail_on == s) throw NoticeFailure();
  });
  DepManager dm;
  NodeList nodes;
};

TEST_F(NodeTest, NestedBracketsNotifyOnlyAtTheOutermostOpeningAndClosing) {
  Position* node = AddNode(3);
  std::vector<int32_t> depths;
  for (int i = 0; i < 3; ++i) {
    node->StartCompute();
    depths.push_back(node->compute_depth());
  }
  for (int i = 0; i < 3; ++i) {
    node->EndCompute();
    depths.push_back(node->compute_depth());
  }
  EXPECT_EQ(depths, (std::vector<int32_t>{1, 2, 3, 2, 1, 0}));
  EXPECT_EQ(events,
            (std::vector<Event>{{3, Status::NODE_COMPUTING}, {3, Status::NODE_NOT_COMPUTING}}));
}

TEST_F(NodeTest, AChainOfThreeLinksIsOneBracket) {
  Position* node = AddNode(1);
  auto third = std::make_shared<TestAction>(nullptr, [](const EnvironmentRef&) {
    auto d = std::make_shared<Dictionary>();
    d->Add(L"v", std::make_shared<String>(L"third"));
    return d;
  });
  auto second = std::make_shared<TestAction>(nullptr, Continues(third));
  node->update(std::make_shared<TestAction>(nullptr, Continues(second)), false);

  DictionaryRef result = node->eval(true);
  ASSERT_NE(result, nullptr);
  EXPECT_NE(result->Get(L"v"), nullptr);
  EXPECT_EQ(events,
            (std::vector<Event>{{1, Status::NODE_COMPUTING}, {1, Status::NODE_NOT_COMPUTING}}));
  EXPECT_EQ(node->compute_depth(), 0);
}

TEST_F(NodeTest, AFailingActionStillClosesTheBracket) {
  Position* node = AddNode(1);
  auto action = std::make_shared<TestAction>(
      nullptr, [](const EnvironmentRef&) -> DictionaryRef { throw ActionFailure(); });
  node->update(action, false);

  EXPECT_THROW(node->eval(true), ActionFailure);
  EXPECT_EQ(events,
            (std::vector<Event>{{1, Status::NODE_COMPUTING}, {1, Status::NODE_NOT_COMPUTING}}));
  EXPECT_EQ(node->compute_depth(), 0);
  EXPECT_EQ(node->ready(), nullptr);
}

TEST_F(NodeTest, TheActionsFailureWinsOverAFailingClosingNotice) {
  Position* node = AddNode(1);
  node->update(std::make_shared<TestAction>(
                   nullptr, [](const EnvironmentRef&) -> DictionaryRef { throw ActionFailure(); }),
               false);
  fail_on = Status::NODE_NOT_COMPUTING;
  EXPECT_THROW(node->eval(true), ActionFailure);
  EXPECT_EQ(node->compute_depth(), 0);
}

TEST_F(NodeTest, AFailingOpeningNoticeOpensNoBracket) {
  Position* node = AddNode(1);
  fail_on = Status::NODE_COMPUTING;
  EXPECT_THROW(node->StartCompute(), NoticeFailure);
  EXPECT_EQ(node->compute_depth(), 0);

  // Through an evaluation: the action never runs and no closing notice follows.
  auto action = std::make_shared<TestAction>();
  node->update(action, false);
  events.clear();
  EXPECT_THROW(node->eval(true), NoticeFailure);
  EXPECT_EQ(action->invocations, 0);
  EXPECT_EQ(node->compute_depth(), 0);
  EXPECT_EQ(events, (std::vector<Event>{{1, Status::NODE_COMPUTING}}));

  // Nothing was left open: the next computation is bracketed afresh.
  fail_on.reset();
  events.clear();
  EXPECT_NE(node->eval(true), nullptr);
  EXPECT_EQ(events,
            (std::vector<Event>{{1, Status::NODE_COMPUTING}, {1, Status::NODE_NOT_COMPUTING}}));
}

TEST_F(NodeTest, AFailingClosingNoticeStillLowersTheDepth) {
  Position* node = AddNode(1);
  node->StartCompute();
  fail_on = Status::NODE_NOT_COMPUTING;
  EXPECT_THROW(node->EndCompute(), NoticeFailure);
  EXPECT_EQ(node->compute_depth(), 0);

  // Through an evaluation that succeeded: the notice's failure reaches the caller.
  node->update(std::make_shared<TestAction>(), false);
  EXPECT_THROW(node->eval(true), NoticeFailure);
  EXPECT_EQ(node->compute_depth(), 0);
}

TEST_F(NodeTest, InvalidateAndNotifyReadySendEvenInsideABracket) {
  Position* node = AddNode(2);
  node->StartCompute();
  node->Invalidate();
  node->NotifyReady();
  node->EndCompute();
  EXPECT_EQ(events, (std::vector<Event>{{2, Status::NODE_COMPUTING},
                                        {2, Status::NODE_INVALID},
                                        {2, Status::NODE_READY},
                                        {2, Status::NODE_NOT_COMPUTING}}));
}

TEST_F(NodeTest, WithNotificationsOffBracketsAreStillCounted) {
  Position* node = AddNode(2);
  node->enable_notify(false);
  node->StartCompute();
  node->StartCompute();
  node->Invalidate();
  EXPECT_EQ(node->compute_depth(), 2);
  EXPECT_TRUE(events.empty());

  node->enable_notify(true);
  node->EndCompute();
  EXPECT_TRUE(events.empty());
  node->EndCompute();
  EXPECT_EQ(events, (std::vector<Event>{{2, Status::NODE_NOT_COMPUTING}}));
  EXPECT_EQ(node->compute_depth(), 0);
}

TEST_F(NodeTest, ANodeWithoutADelegateSendsNothing) {
  const NotifyRef none;
  Position node(&dm, none, 5);
  node.StartCompute();
  node.Invalidate();
  node.NotifyReady();
  node.EndCompute();
  EXPECT_EQ(node.compute_depth(), 0);
}

TEST_F(NodeTest, ANodeWithoutAChainHasNothingToGive) {
  Position* node = AddNode(4);
  EXPECT_EQ(node->handle(), 4);
  EXPECT_FALSE(node->lazy());
  EXPECT_EQ(node->chain(), nullptr);
  EXPECT_NE(node->env(), nullptr);
  EXPECT_EQ(node->ready(), nullptr);
  EXPECT_EQ(node->eval(false), nullptr);
  EXPECT_EQ(node->eval(true), nullptr);
  EXPECT_EQ(node->GetDefs(), nullptr);
  EXPECT_EQ(node->ToStrng(), "");
  node->clear(0);
  node->clear(3);
  node->update(nullptr, true);  // withdrawing nothing touches nothing
  EXPECT_TRUE(dm.empty());
  EXPECT_TRUE(events.empty());
}

TEST_F(NodeTest, AnActionWithoutNamesGetsAChainButRegistersNothing) {
  Position* node = AddNode(1);
  auto action = std::make_shared<TestAction>(nullptr);
  node->update(action, true);
  ASSERT_NE(node->chain(), nullptr);
  EXPECT_EQ(node->GetDefs(), nullptr);
  EXPECT_NE(node->eval(true), nullptr);
  EXPECT_EQ(action->invocations, 1);
  EXPECT_TRUE(dm.empty());
}

TEST_F(NodeTest, AConstActionRegistersNoNamesAndRecordsNoDependencies) {
  Position* node = AddNode(1);
  const ObjectRef value = std::make_shared<Box<int32_t>>(7);
  node->update(std::make_shared<ConstAction>(value), true);
  DictionaryRef result = node->eval(true);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->Get(L"%result"), value);
  EXPECT_TRUE(dm.empty());
}

TEST_F(NodeTest, ReplacingAnActionWithdrawsEveryOldNameBeforeRegisteringANewOne) {
  Position* node = AddNode(1);
  auto old_action = std::make_shared<TestAction>(List::Names({L"x", L"y"}));
  auto new_action = std::make_shared<TestAction>(List::Names({L"x", L"z"}));
  node->update(old_action, false);
  ASSERT_TRUE(Bound(L"x", node) && Bound(L"y", node));

  // What the new action's names meet when they are first asked for.
  struct Seen {
    bool x, y, old_released;
  };
  std::vector<Seen> seen;
  new_action->on_get_defs = [&] {
    seen.push_back({Bound(L"x", node), Bound(L"y", node), old_action->releases == 1});
  };
  node->update(new_action, false);
  new_action->on_get_defs = nullptr;  // the withdrawal at teardown asks again

  ASSERT_FALSE(seen.empty());
  EXPECT_FALSE(seen[0].x);
  EXPECT_FALSE(seen[0].y);
  EXPECT_TRUE(seen[0].old_released);
  // The name both actions define survives the exchange.
  EXPECT_TRUE(Bound(L"x", node));
  EXPECT_FALSE(Bound(L"y", node));
  EXPECT_TRUE(Bound(L"z", node));
  EXPECT_EQ(old_action->releases, 1);
  EXPECT_EQ(new_action->releases, 0);
}

// A name listed twice is defined once and withdrawn once, whether the
// withdrawal gets the very list that was registered or an equal new one.
TEST_F(NodeTest, ANameListedTwiceIsRegisteredAndWithdrawnOnce) {
  for (bool same_list : {true, false}) {
    SCOPED_TRACE(same_list);
    Position* node = AddNode(1);
    auto action = std::make_shared<TestAction>(List::Names({L"x", L"x"}));
    if (!same_list) {
      // A fresh list every time it is asked.
      action->on_get_defs = [a = action.get()] { a->set_defs(List::Names({L"x", L"x"})); };
    }
    node->update(action, false);
    EXPECT_TRUE(Bound(L"x", node));
    node->update(nullptr, true);
    EXPECT_FALSE(Bound(L"x", node));
    EXPECT_TRUE(dm.empty());
    delete node;
  }
}

TEST_F(NodeTest, ReplacingAnActionInvalidatesReadersOfOldAndNewNamesOnlyWhenAsked) {
  for (bool invalidate : {true, false}) {
    SCOPED_TRACE(invalidate ? "with invalidation" : "without invalidation");
    Position* definer = AddNode(1);
    Position* old_reader = AddNode(2);
    Position* new_reader = AddNode(3);
    definer->update(std::make_shared<TestAction>(List::Names({L"x", L"y"})), false);
    old_reader->update(std::make_shared<TestAction>(nullptr, Reads(L"y")), false);
    new_reader->update(std::make_shared<TestAction>(nullptr, Reads(L"z")), false);
    old_reader->eval(true);
    new_reader->eval(true);
    events.clear();

    definer->update(std::make_shared<TestAction>(List::Names({L"x", L"z"})), invalidate);
    const std::vector<Event> expected =
        invalidate ? std::vector<Event>{{2, Status::NODE_INVALID}, {3, Status::NODE_INVALID}}
                   : std::vector<Event>{};
    EXPECT_EQ(events, expected);
    // The names follow the action either way.
    EXPECT_FALSE(Bound(L"y", definer));
    EXPECT_TRUE(Bound(L"z", definer));

    for (Position* p : {definer, old_reader, new_reader}) {
      p->update(nullptr, false);
      delete p;
    }
  }
}

TEST_F(NodeTest, AWithdrawnNodeTakesANewActionLikeAFreshOne) {
  Position* node = AddNode(1);
  auto first = std::make_shared<TestAction>(List::Names({L"x"}));
  node->update(first, true);
  node->update(nullptr, true);
  EXPECT_EQ(node->chain(), nullptr);
  EXPECT_EQ(first->releases, 1);
  EXPECT_TRUE(dm.empty());

  auto second = std::make_shared<TestAction>(List::Names({L"y"}));
  node->update(second, true);
  EXPECT_FALSE(Bound(L"x", node));
  EXPECT_TRUE(Bound(L"y", node));
  EXPECT_NE(node->eval(true), nullptr);
  EXPECT_EQ(first->invocations, 0);
  EXPECT_EQ(second->invocations, 1);
}

TEST_F(NodeTest, ALazyNodeComputesOnlyWhenForced) {
  Position* node = AddNode(1);
  node->set_lazy(true);
  auto action = std::make_shared<TestAction>();
  node->update(action, false);

  EXPECT_EQ(node->eval(false), nullptr);
  EXPECT_EQ(action->invocations, 0);
  EXPECT_TRUE(events.empty());

  DictionaryRef computed = node->eval(true);
  ASSERT_NE(computed, nullptr);
  EXPECT_EQ(action->invocations, 1);
  // Unforced, it now hands out the last valid result without computing.
  EXPECT_EQ(node->eval(false), computed);
  EXPECT_EQ(node->ready(), computed);
  EXPECT_EQ(action->invocations, 1);
}

// A node that still has a chain when it is destroyed (its withdrawal failed)
// takes the chain's dependencies with it, while its ordinal is still there to
// find them by.
TEST_F(NodeTest, DestroyingANodeDropsTheDependenciesOfItsChain) {
  Position* definer = AddNode(1);
  Position* reader = AddNode(2);
  definer->update(std::make_shared<TestAction>(List::Names({L"x"})), false);
  auto action = std::make_shared<TestAction>(nullptr, Reads(L"x"));
  reader->update(action, false);
  reader->eval(true);

  delete reader;
  EXPECT_EQ(action->releases, 1);
  events.clear();
  definer->update(nullptr, true);  // invalidating "x" reaches nobody
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(dm.empty());
}

TEST(DocumentUnloadTest, ANodeWhoseWithdrawalFailsIsStillDestroyedSafely) {
  Depman document;
  const int32_t definer =
      document.AddAfter(0, std::make_shared<TestAction>(List::Names({L"x"})), 0);
  auto reader = std::make_shared<TestAction>(nullptr, Reads(L"x"));
  int asked = 0;
  reader->on_get_defs = [&asked] {
    if (++asked > 1) throw std::runtime_error("names unavailable");
  };
  document.GetAllValues(document.AddAfter(definer, reader, 0));

  EXPECT_THROW(document.Unload(), std::runtime_error);
  EXPECT_EQ(reader->releases, 1);
}

}  // namespace
}  // namespace depman
