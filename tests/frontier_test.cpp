// The evaluation frontier: eval_to, needs_eval and on_remove.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine_fixture.hpp"

namespace depman::engine_test {
namespace {

// A document of nodes labelled 'a', 'b', ... whose actions append their
// label to `log` when they run.
class Frontier {
 public:
  explicit Frontier(const std::string& lazy_flags) {
    for (std::size_t i = 0; i < lazy_flags.size(); ++i) {
      const char label = static_cast<char>('a' + i);
      nodes.push_back(doc.Append(MakeAction(nullptr,
                                            [this, label](const EnvironmentRef&) {
                                              log += label;
                                              return Dict({});
                                            }),
                                 lazy_flags[i] == 'L'));
    }
  }

  // The label of the frontier node, or '-' when there is none.
  char frontier() {
    Position* f = doc.dm().eval_frontier();
    return f == nullptr ? '-' : static_cast<char>('a' + Index(f));
  }
  Position* node(char label) const { return nodes.at(static_cast<std::size_t>(label - 'a')); }

  TestDocument doc;
  std::vector<Position*> nodes;
  std::string log;

 private:
  std::size_t Index(const Position* p) const {
    std::size_t i = 0;
    while (nodes[i] != p) ++i;
    return i;
  }
};

TEST(Frontier, MovesAsTheStateTableSays) {
  enum Op { kNeedsEval, kEvalTo, kOnRemove };
  struct Case {
    char start;  // '-': no frontier
    Op op;
    char node;
    char next;              // the frontier afterwards
    const char* evaluated;  // the nodes run, in order
  };
  const Case cases[] = {
      {'-', kNeedsEval, 'b', 'b', ""}, {'c', kNeedsEval, 'b', 'b', ""},
      {'b', kNeedsEval, 'c', 'b', ""}, {'b', kNeedsEval, 'b', 'b', ""},

      {'b', kEvalTo, 'c', 'd', "bc"},  {'b', kEvalTo, 'b', 'c', "b"},
      {'b', kEvalTo, 'd', '-', "bcd"}, {'c', kEvalTo, 'b', 'c', ""},
      {'-', kEvalTo, 'c', '-', ""},

      {'b', kOnRemove, 'b', 'c', ""},  {'d', kOnRemove, 'd', '-', ""},
      {'b', kOnRemove, 'c', 'b', ""},  {'c', kOnRemove, 'b', 'c', ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "from " << c.start << ", op " << c.op << " of " << c.node);
    Frontier f("----");
    if (c.start != '-') f.doc.dm().needs_eval(f.node(c.start));
    Position* arg = f.node(c.node);
    switch (c.op) {
      case kNeedsEval:
        f.doc.dm().needs_eval(arg);
        break;
      case kEvalTo:
        f.doc.dm().eval_to(arg);
        break;
      case kOnRemove:
        f.doc.dm().on_remove(arg);
        break;
    }
    EXPECT_EQ(f.frontier(), c.next);
    EXPECT_EQ(f.log, c.evaluated);
  }
}

TEST(Frontier, EvalToPassesOverLazyNodes) {
  Frontier f("-L-L");
  f.doc.dm().needs_eval(f.node('a'));
  f.doc.dm().eval_to(f.node('d'));
  EXPECT_EQ(f.log, "ac");
  EXPECT_EQ(f.node('b')->ready(), nullptr);
  EXPECT_EQ(f.frontier(), '-');
}

TEST(Frontier, AFailingNodeLeavesTheFrontierWhereItWas) {
  TestDocument doc;
  auto first = MakeAction(nullptr, [](const EnvironmentRef&) { return Dict({}); });
  auto failing = MakeAction(nullptr, [](const EnvironmentRef&) -> DictionaryRef {
    throw std::runtime_error("action failed");
  });
  auto last = MakeAction(nullptr, [](const EnvironmentRef&) { return Dict({}); });
  Position* a = doc.Append(first);
  doc.Append(failing);
  Position* c = doc.Append(last);
  doc.dm().needs_eval(a);

  EXPECT_THROW(doc.dm().eval_to(c), std::runtime_error);
  EXPECT_EQ(doc.dm().eval_frontier(), a);
  EXPECT_NE(a->ready(), nullptr);
  EXPECT_EQ(last->invokes(), 0);
}

}  // namespace
}  // namespace depman::engine_test
