// Action chains: evaluation and reuse, follow-up links named under "%next",
// clearing, destruction and failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine_fixture.hpp"

namespace depman::engine_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// An action that returns `result` and defines nothing.
TestActionRef Returning(DictionaryRef result) {
  return MakeAction(nullptr, [result](const EnvironmentRef&) { return result; });
}

// An action that returns a fresh dictionary naming `next` under "%next"
// (and the label under "from").
TestActionRef Forwarding(const ActionRef& next, std::wstring label) {
  return MakeAction(nullptr, [next, label](const EnvironmentRef&) {
    return Dict({{kNext, next}, {L"from", Str(label)}});
  });
}

// head -> mid -> tail: a chain of three links; tail returns a fresh
// dictionary on every run.
struct ThreeLinks {
  ThreeLinks() {
    tail = MakeAction(nullptr, [](const EnvironmentRef&) {
      return Dict({{L"from", Str(L"tail")}});
    });
    mid = Forwarding(tail, L"mid");
    head = Forwarding(mid, L"head");
  }
  TestActionRef tail;
  TestActionRef mid;
  TestActionRef head;
};

TEST(Chain, EvaluatesOnceAndThenReusesItsResult) {
  TestDocument doc;
  auto action = Returning(Dict({{L"v", Str(L"1")}}));
  Position* node = doc.Append(action);
  ActionChain* chain = node->chain();
  EXPECT_EQ(chain->ready(), nullptr);
  EXPECT_EQ(action->invokes(), 0);

  const DictionaryRef first = chain->eval();
  EXPECT_EQ(action->invokes(), 1);
  EXPECT_EQ(chain->ready(), first);
  EXPECT_THAT(doc.TakeEvents(), ElementsAre("1 NODE_COMPUTING", "1 NODE_NOT_COMPUTING"));

  EXPECT_EQ(chain->eval(), first);
  EXPECT_EQ(action->invokes(), 1);
  EXPECT_THAT(doc.TakeEvents(), IsEmpty());
}

TEST(Chain, NextNamesAFollowUpWhoseDictionaryIsTheValue) {
  TestDocument doc;
  ThreeLinks actions;
  Position* node = doc.Append(actions.head);
  ActionChain* chain = node->chain();

  const DictionaryRef value = chain->eval();
  EXPECT_EQ(TextAt(value, L"from"), L"tail");
  EXPECT_EQ(value->Count(), 1u);  // nothing merged from the earlier links
  ASSERT_NE(chain->next(), nullptr);
  ASSERT_NE(chain->next()->next(), nullptr);
  EXPECT_EQ(chain->next()->seq_no(), 1);
  EXPECT_EQ(chain->next()->next()->seq_no(), 2);
  EXPECT_EQ(chain->result(), nullptr);  // a forwarding link keeps no result
  EXPECT_EQ(chain->next()->result(), nullptr);
  EXPECT_EQ(chain->ready(), value);
  // One bracket for the whole chain.
  EXPECT_THAT(doc.TakeEvents(), ElementsAre("1 NODE_COMPUTING", "1 NODE_NOT_COMPUTING"));
}

TEST(Chain, NoActionUnderNextMeansNoFollowUp) {
  const DictionaryRef without_key = Dict({{L"v", Str(L"1")}});
  const DictionaryRef none_under_key = Dict({{kNext, nullptr}});
  for (const DictionaryRef& returned : {without_key, none_under_key}) {
    TestDocument doc;
    Position* node = doc.Append(Returning(returned));
    EXPECT_EQ(node->eval(true), returned);
    EXPECT_EQ(node->chain()->next(), nullptr);
  }
}

// After clear(depth) of head -> mid -> tail, the next evaluation runs the
// cleared link and what it names again; the links after it were destroyed.
TEST(Chain, ClearDropsTheChainFromTheGivenLinkOn) {
  struct Case {
    int32_t depth;
    std::vector<int> reruns;    // head, mid, tail
    std::vector<int> releases;  // head, mid, tail
  };
  const Case cases[] = {
      {-1, {1, 1, 1}, {0, 1, 1}}, {0, {1, 1, 1}, {0, 1, 1}}, {1, {0, 1, 1}, {0, 0, 1}},
      {2, {0, 0, 1}, {0, 0, 0}},  {5, {0, 0, 0}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth);
    TestDocument doc;
    ThreeLinks actions;
    Position* node = doc.Append(actions.head);
    const DictionaryRef before = node->eval(true);

    node->clear(c.depth);
    EXPECT_EQ(node->ready() == nullptr, c.depth <= 2);
    EXPECT_EQ(
        (std::vector{actions.head->releases(), actions.mid->releases(), actions.tail->releases()}),
        c.releases);

    const DictionaryRef after = node->eval(true);
    EXPECT_EQ((std::vector{actions.head->invokes() - 1, actions.mid->invokes() - 1,
                           actions.tail->invokes() - 1}),
              c.reruns);
    EXPECT_EQ(after == before, c.depth > 2);
    EXPECT_EQ(TextAt(after, L"from"), L"tail");
  }
}

TEST(Chain, DestructionWithdrawsEveryLinksDependenciesAndReleasesBackToFront) {
  TestDocument doc;
  Position* definer = doc.Append(Reader({}, List::Names({L"a", L"b", L"c"})));
  Position* node = doc.Append(nullptr);
  std::vector<std::wstring> released;
  // Link k looks up its own name, so each link has a dependency to withdraw.
  const auto link_action = [&released](std::wstring name, ActionRef next) {
    auto action = MakeAction(nullptr, [name, next](const EnvironmentRef& env) {
      env->Lookup(name);
      return next ? Dict({{kNext, next}}) : Dict({});
    });
    action->set_on_release([&released, name] { released.push_back(name); });
    return action;
  };
  auto tail = link_action(L"c", nullptr);
  auto mid = link_action(L"b", tail);
  auto head = link_action(L"a", mid);

  auto chain = std::make_unique<ActionChain>(node, head, 0);
  chain->eval();
  chain.reset();
  EXPECT_THAT(released, ElementsAre(L"c", L"b", L"a"));

  // No dependent is left for the walk to reach (asan: no freed link touched).
  doc.ClearEvents();
  doc.dm().invalidateChains(*List::Names({L"a", L"b", L"c"}), definer);
  EXPECT_THAT(doc.TakeEvents(), IsEmpty());
  doc.WithdrawAll();
  EXPECT_TRUE(doc.dm().empty());
}

TEST(Chain, AnActionHeldByTwoLinksIsReleasedOncePerLink) {
  TestDocument doc;
  // Names itself as its follow-up on its first run only.
  TestActionRef twice;
  twice = MakeAction(nullptr, [&twice](const EnvironmentRef&) {
    return twice->invokes() == 1 ? Dict({{kNext, twice}}) : Dict({});
  });
  Position* node = doc.Append(twice);
  node->eval(true);
  ASSERT_NE(node->chain()->next(), nullptr);

  doc.Destroy(node);
  EXPECT_EQ(twice->releases(), 2);
}

TEST(Chain, AFailingActionStoresNothingAndRunsAgainLater) {
  TestDocument doc;
  bool fail = true;
  auto action = MakeAction(nullptr, [&fail](const EnvironmentRef&) {
    if (fail) throw std::runtime_error("action failed");
    return Dict({});
  });
  Position* node = doc.Append(action);

  EXPECT_THROW(node->eval(true), std::runtime_error);
  EXPECT_EQ(node->ready(), nullptr);
  EXPECT_EQ(node->compute_depth(), 0);
  EXPECT_THAT(doc.TakeEvents(), ElementsAre("1 NODE_COMPUTING", "1 NODE_NOT_COMPUTING"));

  fail = false;
  EXPECT_NE(node->eval(true), nullptr);
  EXPECT_EQ(action->invokes(), 2);
}

// A follow-up that fails stays attached; the retry runs it, not the head.
TEST(Chain, AFailingFollowUpIsRetriedWithoutRerunningTheHead) {
  TestDocument doc;
  bool fail = true;
  auto tail = MakeAction(nullptr, [&fail](const EnvironmentRef&) {
    if (fail) throw std::runtime_error("follow-up failed");
    return Dict({{L"from", Str(L"tail")}});
  });
  auto head = Forwarding(tail, L"head");
  Position* node = doc.Append(head);

  EXPECT_THROW(node->eval(true), std::runtime_error);
  EXPECT_EQ(node->ready(), nullptr);
  fail = false;
  EXPECT_EQ(TextAt(node->eval(true), L"from"), L"tail");
  EXPECT_EQ(head->invokes(), 1);
  EXPECT_EQ(tail->invokes(), 2);
}

TEST(Chain, AnInvalidResultIsRejectedNamingTheNode) {
  struct Case {
    const char* what;
    DictionaryRef returned;
  };
  const Case cases[] = {
      {"no dictionary", nullptr},
      {"a string under %next", Dict({{kNext, Str(L"not an action")}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestDocument doc;
    Position* node = doc.Append(7, Returning(c.returned));
    doc.ClearEvents();
    try {
      node->eval(true);
      ADD_FAILURE() << "no error";
    } catch (const std::logic_error& e) {
      EXPECT_THAT(e.what(), HasSubstr("node 7"));
    }
    EXPECT_THAT(doc.TakeEvents(), ElementsAre("7 NODE_COMPUTING", "7 NODE_NOT_COMPUTING"));
    EXPECT_EQ(node->chain()->result(), nullptr);
    EXPECT_EQ(node->chain()->next(), nullptr);
  }
}

// Link 0 reads x and names a follow-up on its first run only; the follow-up
// reads y. A change of x destroys link 1 and runs link 0 again.
TEST(Chain, AChangedInputOfTheHeadDropsTheFollowUp) {
  TestDocument doc;
  std::wstring x = L"1";
  Position* definer = doc.Append(MakeAction(List::Names({L"x", L"y"}), [&x](const EnvironmentRef&) {
    return Dict({{L"x", Str(x)}, {L"y", Str(L"y")}});
  }));
  auto follow_up = MakeAction(nullptr, [](const EnvironmentRef& env) {
    env->Lookup(L"y");
    return Dict({{L"from", Str(L"follow-up")}});
  });
  TestActionRef head;
  head = MakeAction(nullptr, [&](const EnvironmentRef& env) {
    env->Lookup(L"x");
    return head->invokes() == 1 ? Dict({{kNext, follow_up}}) : Dict({{L"from", Str(L"head")}});
  });
  Position* node = doc.Append(head);
  EXPECT_EQ(TextAt(node->eval(true), L"from"), L"follow-up");

  x = L"2";
  definer->clear(0);
  doc.dm().invalidateChains(*List::Names({L"x"}), definer);
  EXPECT_EQ(TextAt(node->eval(true), L"from"), L"head");
  EXPECT_EQ(head->invokes(), 2);
  EXPECT_EQ(follow_up->invokes(), 1);
  EXPECT_EQ(follow_up->releases(), 1);
  EXPECT_EQ(node->chain()->next(), nullptr);

  // The destroyed link's dependency on y went with it.
  doc.ClearEvents();
  doc.dm().invalidateChains(*List::Names({L"y"}), definer);
  EXPECT_THAT(doc.TakeEvents(), IsEmpty());
}

// The head reads x and names a follow-up that reads y. Both names are
// announced, but only y's value differs: the follow-up runs again, the head
// keeps its state.
TEST(Chain, AChangedInputOfAFollowUpRerunsOnlyThatLink) {
  TestDocument doc;
  std::wstring y = L"1";
  Position* definer = doc.Append(MakeAction(List::Names({L"x", L"y"}), [&y](const EnvironmentRef&) {
    return Dict({{L"x", Str(L"x")}, {L"y", Str(y)}});
  }));
  auto follow_up = MakeAction(nullptr, [](const EnvironmentRef& env) {
    return Dict({{L"seen", env->Lookup(L"y")->Get(L"y")}});
  });
  auto head = MakeAction(nullptr, [follow_up](const EnvironmentRef& env) {
    env->Lookup(L"x");
    return Dict({{kNext, follow_up}});
  });
  Position* node = doc.Append(head);
  node->eval(true);
  ActionChain* follow_up_link = node->chain()->next();

  y = L"2";
  definer->clear(0);
  doc.dm().invalidateChains(*List::Names({L"x", L"y"}), definer);
  EXPECT_EQ(TextAt(node->eval(true), L"seen"), L"2");
  EXPECT_EQ(head->invokes(), 1);
  EXPECT_EQ(follow_up->invokes(), 2);
  EXPECT_EQ(node->chain()->next(), follow_up_link);  // the same link, run again
}

}  // namespace
}  // namespace depman::engine_test
