// The dependent registry and the invalidation walk of DepManager.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_fixture.hpp"

namespace depman::engine_test {
namespace {

using ::testing::IsEmpty;

// One node of a scenario; its handle is the code of its label.
struct NodeSpec {
  char label;
  std::vector<std::wstring> reads;
  std::vector<std::wstring> defines;  // empty: GetDefs returns none
};

// Builds the nodes in order and evaluates every one, so that each
// dependency is registered and each node holds a trusted result.
std::vector<Position*> Build(TestDocument& doc, const std::vector<NodeSpec>& specs) {
  std::vector<Position*> nodes;
  for (const NodeSpec& spec : specs) {
    ListRef defs = spec.defines.empty() ? nullptr : Names(spec.defines);
    nodes.push_back(doc.Append(spec.label, Reader(spec.reads, defs)));
  }
  for (Position* node : nodes) node->eval(true);
  doc.ClearEvents();
  return nodes;
}

Position* Find(const std::vector<Position*>& nodes, char label) {
  for (Position* node : nodes) {
    if (node->handle() == label) return node;
  }
  return nullptr;
}

// The labels of the nodes notified since the last call, in order; any
// notification other than NODE_INVALID shows as '?'.
std::string TakeInvalidated(TestDocument& doc) {
  std::string labels;
  for (const Event& e : doc.events()) {
    labels += e.status == Status::NODE_INVALID ? static_cast<char>(e.handle) : '?';
  }
  doc.ClearEvents();
  return labels;
}

// Nodes in `expected` have lost their trusted result; every other node kept it.
void ExpectMarked(const std::vector<Position*>& nodes, const std::string& expected) {
  for (Position* node : nodes) {
    const char label = static_cast<char>(node->handle());
    SCOPED_TRACE(label);
    EXPECT_EQ(node->ready() == nullptr, expected.find(label) != std::string::npos);
  }
}

TEST(Invalidation, ReachesTheNodesThatMaySeeADifferentValue) {
  struct Case {
    const char* what;
    std::vector<NodeSpec> nodes;
    char changed;
    std::vector<std::wstring> names;
    std::string invalidated;
  };
  const Case cases[] = {
      {"a definer that does not read x screens off the nodes after it",
       {{'A', {}, {L"x"}},
        {'B', {L"x"}, {}},
        {'D', {L"x"}, {}},
        {'E', {}, {L"x"}},
        {'F', {L"x"}, {}},
        {'G', {}, {}}},
       'A',
       {L"x"},
       "BD"},
      {"a definer that reads x passes the change on",
       {{'A', {}, {L"x"}},
        {'B', {L"x"}, {}},
        {'D', {L"x"}, {}},
        {'E', {L"x"}, {L"x"}},
        {'F', {L"x"}, {}},
        {'G', {}, {}}},
       'A',
       {L"x"},
       "BDEF"},
      {"the change spreads through the names a reached node defines",
       {{'A', {}, {L"x"}},
        {'B', {L"x"}, {L"y"}},
        {'D', {}, {}},
        {'E', {}, {}},
        {'F', {}, {}},
        {'G', {L"y"}, {}}},
       'A',
       {L"x"},
       "BG"},
      {"a node reached through two routes is notified once",
       {{'A', {}, {L"x"}}, {'B', {L"x"}, {L"y"}}, {'D', {L"x", L"y"}, {}}},
       'A',
       {L"x"},
       "BD"},
      {"a node reading two changed names is notified once",
       {{'A', {}, {L"x", L"y"}}, {'B', {L"x", L"y"}, {}}},
       'A',
       {L"x", L"y"},
       "B"},
      {"nothing at or before the changed node",
       {{'A', {L"x"}, {}}, {'B', {L"x"}, {L"x"}}, {'D', {L"x"}, {}}},
       'B',
       {L"x"},
       "D"},
      {"a name that nobody reads goes with the node, one that is read is walked",
       {{'A', {}, {L"w", L"x"}}, {'B', {L"x"}, {}}},
       'A',
       {L"w", L"x"},
       "B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestDocument doc;
    const std::vector<Position*> nodes = Build(doc, c.nodes);
    Position* changed = Find(nodes, c.changed);
    const ListRef names = Names(c.names);

    changed->registerDefs(names, /*bRegister=*/false, /*bInvalidate=*/true);
    EXPECT_EQ(TakeInvalidated(doc), c.invalidated) << "withdrawing";
    ExpectMarked(nodes, c.invalidated);

    for (Position* node : nodes) node->eval(true);
    doc.ClearEvents();
    changed->registerDefs(names, /*bRegister=*/true, /*bInvalidate=*/true);
    EXPECT_EQ(TakeInvalidated(doc), c.invalidated) << "registering";
    ExpectMarked(nodes, c.invalidated);

    // Withdrawn through the list it registered, the node walks from the
    // registry entries it holds instead of looking the names up.
    for (Position* node : nodes) node->eval(true);
    doc.ClearEvents();
    changed->registerDefs(names, /*bRegister=*/false, /*bInvalidate=*/true);
    EXPECT_EQ(TakeInvalidated(doc), c.invalidated) << "withdrawing the registered list";
    ExpectMarked(nodes, c.invalidated);
  }
}

TEST(Invalidation, DepctlSwitchesTheWalkOffAndOn) {
  TestDocument doc;
  const std::vector<Position*> nodes =
      Build(doc, {{'A', {}, {L"x"}}, {'B', {L"x"}, {}}, {'D', {L"x"}, {}}});
  const ListRef x = List::Names({L"x"});

  doc.dm().depctl(1);
  nodes[0]->registerDefs(x, false, true);
  EXPECT_EQ(TakeInvalidated(doc), "");
  ExpectMarked(nodes, "");

  doc.dm().depctl(0);
  nodes[0]->registerDefs(x, true, true);
  EXPECT_EQ(TakeInvalidated(doc), "BD");
  ExpectMarked(nodes, "BD");
}

// Two links of node B register x: first the one numbered 2, then the one
// numbered 0. The lower number is kept, and only its removal counts.
TEST(DependentRegistry, KeepsTheLinkWithTheLowestNumber) {
  TestDocument doc;
  Position* definer = doc.Append(Reader({}, List::Names({L"x"})));
  Position* dependent = doc.Append(nullptr);
  auto action = Reader({}, nullptr);
  ActionChain link0(dependent, action, 0);
  ActionChain link2(dependent, action, 2);
  link0.eval();
  link2.eval();
  DepManager& dm = doc.dm();
  const ListRef x = List::Names({L"x"});
  // Which of the two links an invalidation of x marks.
  const auto marked = [&] {
    dm.invalidateChains(*x, definer);
    std::string which =
        std::string(link0.ready() == nullptr ? "0" : "") + (link2.ready() == nullptr ? "2" : "");
    link0.eval();  // trusted again for the next question
    link2.eval();
    return which;
  };

  dm.add_dep(L"x", dependent, &link2);
  dm.add_dep(L"x", dependent, &link0);
  dm.add_dep(L"x", dependent, &link2);
  EXPECT_EQ(marked(), "0");

  dm.remove_dep(L"x", dependent, &link2);
  EXPECT_EQ(marked(), "0");

  dm.remove_dep(L"x", dependent, &link0);
  EXPECT_EQ(marked(), "");
  definer->update(nullptr, false);
  EXPECT_TRUE(dm.empty());  // the name's dependent map went with its last entry
}

}  // namespace
}  // namespace depman::engine_test
