// The environments an action looks names up through: resolution strictly
// before the node, dependency recording, and the change test that decides
// whether an invalidated link runs again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine_fixture.hpp"

namespace depman::engine_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// An action that looks up x and returns nothing of interest.
TestActionRef ReaderOfX() {
  return MakeAction(nullptr, [](const EnvironmentRef& env) {
    env->Lookup(L"x");
    return Dict({});
  });
}

TEST(ChangeTest, RerunsTheReaderOnlyWhenTheValueItReadReallyChanged) {
  using Make = std::function<DictionaryRef()>;
  const ObjectRef shared_box = std::make_shared<Box<int32_t>>(1);
  const Make string_a = [] { return Dict({{L"x", Str(L"a")}}); };  // a new object every time
  const Make string_b = [] { return Dict({{L"x", Str(L"b")}}); };
  const Make same_box = [shared_box] { return Dict({{L"x", shared_box}}); };
  const Make no_entry = [] { return Dict({}); };
  const Make none_entry = [] { return Dict({{L"x", nullptr}}); };
  struct Case {
    const char* what;
    Make before;
    Make after;
    bool reruns;
  };
  const Case cases[] = {
      {"equal strings, different objects", string_a, string_a, false},
      {"different strings", string_a, string_b, true},
      {"the very same non-string object", same_box, same_box, true},
      {"string, then non-string", string_a, same_box, true},
      {"missing, still missing", no_entry, none_entry, false},
      {"missing, then defined", none_entry, string_a, true},
      {"defined, then missing", string_a, no_entry, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestDocument doc;
    bool recomputed = false;
    Position* definer = doc.Append(MakeAction(List::Names({L"x"}), [&](const EnvironmentRef&) {
      return recomputed ? c.after() : c.before();
    }));
    auto reader_action = ReaderOfX();
    Position* reader = doc.Append(reader_action);
    const DictionaryRef first = reader->eval(true);

    // The definer computes again and its dependents are told.
    recomputed = true;
    definer->clear(0);
    doc.dm().invalidateChains(*List::Names({L"x"}), definer);
    EXPECT_EQ(reader->ready(), nullptr);

    const DictionaryRef second = reader->eval(true);
    EXPECT_EQ(reader_action->invokes(), c.reruns ? 2 : 1);
    EXPECT_EQ(second == first, !c.reruns);  // an unchanged link keeps its result
    EXPECT_EQ(reader->ready(), second);     // trusted again either way
  }
}

// One document meets values of several types in turn: having met other
// types first does not make it mistake a string for one of them.
TEST(ChangeTest, TellsStringsApartAfterMeetingOtherTypes) {
  TestDocument doc;
  std::vector<ObjectRef> values = {std::make_shared<Box<double>>(1),  Str(L"a"), Str(L"a"),
                                   std::make_shared<Box<int32_t>>(2), Str(L"b"), Str(L"b")};
  std::size_t step = 0;
  Position* definer = doc.Append(MakeAction(List::Names({L"x"}), [&](const EnvironmentRef&) {
    return Dict({{L"x", values[step]}});
  }));
  auto reader_action = ReaderOfX();
  Position* reader = doc.Append(reader_action);
  reader->eval(true);

  std::vector<int> invokes;
  for (step = 1; step < values.size(); ++step) {
    definer->clear(0);
    doc.dm().invalidateChains(*List::Names({L"x"}), definer);
    reader->eval(true);
    invokes.push_back(reader_action->invokes());
  }
  // A rerun for each new value, none for a string equal to the one before.
  EXPECT_THAT(invokes, ElementsAre(2, 2, 3, 4, 4));
}

TEST(ChangeTest, ALinkThatLookedUpNothingRunsAgain) {
  TestDocument doc;
  auto action = MakeAction(nullptr, [](const EnvironmentRef&) { return Dict({}); });
  Position* node = doc.Append(action);
  node->eval(true);

  node->chain()->invalidate();
  node->eval(true);
  EXPECT_EQ(action->invokes(), 2);
}

// The reader looks x up twice and reads y out of the dictionary it got for x:
// x is its one dependency, y is neither recorded nor tested.
TEST(ChangeTest, OnlyTheLookedUpNameIsADependencyAndTested) {
  TestDocument doc;
  int runs = 0;
  auto definer_action = MakeAction(List::Names({L"x", L"y"}), [&runs](const EnvironmentRef&) {
    ++runs;
    return Dict({{L"x", Str(L"same")}, {L"y", Str(std::to_wstring(runs))}});
  });
  Position* definer = doc.Append(definer_action);
  auto reader_action = MakeAction(nullptr, [](const EnvironmentRef& env) {
    env->Lookup(L"x");
    DictionaryRef d = env->Lookup(L"x");
    return Dict({{L"seen", d->Get(L"y")}});
  });
  Position* reader = doc.Append(reader_action);
  const DictionaryRef first = reader->eval(true);
  doc.ClearEvents();

  doc.dm().invalidateChains(*List::Names({L"y"}), definer);
  EXPECT_THAT(doc.TakeEvents(), IsEmpty());
  EXPECT_EQ(reader->ready(), first);

  definer->clear(0);
  doc.dm().invalidateChains(*List::Names({L"x"}), definer);
  EXPECT_THAT(doc.TakeEvents(), ElementsAre("2 NODE_INVALID"));
  EXPECT_EQ(reader->eval(true), first);  // y changed, x did not
  EXPECT_EQ(definer_action->invokes(), 2);
  EXPECT_EQ(reader_action->invokes(), 1);

  doc.WithdrawAll();
  EXPECT_TRUE(doc.dm().empty());
}

TEST(PositionalLookup, FirstNodeFindsNothingButStillDependsOnTheName) {
  TestDocument doc;
  std::vector<std::wstring> seen;
  Position* reader = doc.Append(MakeAction(nullptr, [&seen](const EnvironmentRef& env) {
    DictionaryRef d = env->Lookup(L"x");
    seen.push_back(d == nullptr ? L"none" : TextAt(d, L"x"));
    return Dict({});
  }));
  reader->eval(true);
  doc.ClearEvents();

  doc.InsertBefore(reader, MakeAction(List::Names({L"x"}), [](const EnvironmentRef&) {
                     return Dict({{L"x", Str(L"a")}});
                   }));
  EXPECT_THAT(doc.TakeEvents(), ElementsAre("1 NODE_INVALID"));
  reader->eval(true);
  EXPECT_THAT(seen, ElementsAre(L"none", L"a"));
}

// A node that defines x from x sees the earlier definition, never its own;
// the node after it sees its definition. The definer is computed on demand,
// inside the bracket of the node that asked for it.
TEST(PositionalLookup, SeesTheNearestEarlierDefinitionOnly) {
  TestDocument doc;
  doc.Append(MakeAction(List::Names({L"x"}), [](const EnvironmentRef&) {
    return Dict({{L"x", Str(L"1")}});
  }));
  doc.Append(MakeAction(List::Names({L"x"}), [](const EnvironmentRef& env) {
    return Dict({{L"x", Str(TextAt(env->Lookup(L"x"), L"x") + L"+1")}});
  }));
  Position* last = doc.Append(MakeAction(nullptr, [](const EnvironmentRef& env) {
    return Dict({{L"seen", Str(TextAt(env->Lookup(L"x"), L"x"))}});
  }));
  doc.ClearEvents();

  EXPECT_EQ(TextAt(last->eval(true), L"seen"), L"1+1");
  EXPECT_THAT(doc.TakeEvents(),
              ElementsAre("3 NODE_COMPUTING", "2 NODE_COMPUTING", "1 NODE_COMPUTING",
                          "1 NODE_NOT_COMPUTING", "2 NODE_NOT_COMPUTING", "3 NODE_NOT_COMPUTING"));
}

// An action may keep its environment; once the link is gone, a lookup
// through it finds nothing and touches nothing that was freed (asan).
TEST(KeptEnvironment, FindsNothingOnceItsLinkIsGone) {
  TestDocument doc;
  Position* definer = doc.Append(MakeAction(List::Names({L"x"}), [](const EnvironmentRef&) {
    return Dict({{L"x", Str(L"1")}});
  }));
  EnvironmentRef kept_by_successor;
  auto successor = MakeAction(nullptr, [&](const EnvironmentRef& env) {
    kept_by_successor = env;
    env->Lookup(L"x");
    return Dict({});
  });
  EnvironmentRef kept_by_head;
  auto head = MakeAction(nullptr, [&](const EnvironmentRef& env) {
    kept_by_head = env;
    env->Lookup(L"x");
    return Dict({{kNext, successor}});
  });
  Position* node = doc.Append(head);
  node->eval(true);
  ASSERT_NE(kept_by_successor->Lookup(L"x"), nullptr);

  node->clear(0);  // destroys the successor link; the node and its head live on
  EXPECT_EQ(kept_by_successor->Lookup(L"x"), nullptr);

  doc.Destroy(node);
  EXPECT_EQ(kept_by_head->Lookup(L"x"), nullptr);

  // The late lookups registered nothing.
  doc.Destroy(definer);
  EXPECT_TRUE(doc.dm().empty());
}

}  // namespace
}  // namespace depman::engine_test
