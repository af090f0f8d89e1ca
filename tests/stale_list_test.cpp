// The list of nodes that may need work: document order through any pattern
// of joining and leaving, and walks that go on from a node that left.
#include "stale_list.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "engine.hpp"

namespace depman {
namespace {

class StaleListTest : public testing::Test {
 protected:
  StaleListTest() {
    for (int i = 0; i < 200; ++i) {
      auto* node = new Position(&dm, notify, i);
      node->insert_after(&nodes, nodes.last());
      order.push_back(node);
    }
  }

  // The list's nodes from first to last, read through the links.
  std::vector<Position*> Walk() const {
    std::vector<Position*> seen;
    for (Position* p = list.first_from(order.front()); p != nullptr; p = StaleList::after(p)) {
      seen.push_back(p);
    }
    return seen;
  }

  NotifyRef notify = std::make_shared<Notify>([](int32_t, Status) {});
  DepManager dm;
  NodeList nodes;
  std::vector<Position*> order;
  StaleList list;
};

// Nodes join in runs forwards and backwards, scattered, in front and behind,
// and leave at random; the list always holds them in document order.
TEST_F(StaleListTest, KeepsDocumentOrderThroughAnyJoiningAndLeaving) {
  std::mt19937 random(11);
  std::set<int> model;
  const auto join = [&](int i) {
    if (model.insert(i).second) list.insert(order[static_cast<std::size_t>(i)]);
  };
  for (int round = 0; round < 300; ++round) {
    const int start = static_cast<int>(random() % 200);
    switch (random() % 4) {
      case 0:  // a forward run, as an invalidation walk marks
        for (int i = start; i < std::min(200, start + 20); ++i) join(i);
        break;
      case 1:  // a backward run
        for (int i = start; i >= std::max(0, start - 20); --i) join(i);
        break;
      case 2:  // scattered
        for (int k = 0; k < 10; ++k) join(static_cast<int>(random() % 200));
        break;
      default:  // leaving, at random and in runs
        for (int k = 0; k < 30; ++k) {
          const int i = static_cast<int>(random() % 200);
          model.erase(i);
          list.erase(order[static_cast<std::size_t>(i)]);
        }
    }
    std::vector<Position*> expected;
    for (int i : model) expected.push_back(order[static_cast<std::size_t>(i)]);
    ASSERT_EQ(Walk(), expected) << "round " << round;
    for (int i = 0; i < 200; ++i) {
      ASSERT_EQ(list.contains(order[static_cast<std::size_t>(i)]), model.count(i) == 1);
    }
  }
}

// A walk standing on a node that has just left, after the nodes following it
// left too, goes on with the first node still in the list.
TEST_F(StaleListTest, AWalkGoesOnFromANodeThatLeft) {
  for (int i : {3, 5, 7, 9}) list.insert(order[static_cast<std::size_t>(i)]);
  list.erase(order[5]);
  list.erase(order[3]);
  EXPECT_EQ(StaleList::after(order[3]), order[7]);
  EXPECT_EQ(list.first_from(order[4]), order[7]);
  EXPECT_EQ(list.first_from(order[10]), nullptr);
}

}  // namespace
}  // namespace depman
