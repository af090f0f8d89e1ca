// Document order: OrderedList and OrderedListNode over a small node base.
#include "order.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace depman {
namespace {

// The node base: an id, and a log that records destruction.
class Item {
 public:
  Item() = default;
  Item(const Item&) = delete;
  Item& operator=(const Item&) = delete;
  virtual ~Item() {
    if (destroyed != nullptr) destroyed->push_back(id);
  }

  int id = 0;
  std::vector<int>* destroyed = nullptr;
};

using ItemList = OrderedList<Item>;
using ItemNode = OrderedListNode<Item>;

ItemNode* NewItem(int id) {
  auto* node = new ItemNode;
  node->id = id;
  return node;
}

ItemNode* InsertAfter(ItemList& list, ItemNode* anchor, int id = 0) {
  ItemNode* node = NewItem(id);
  node->insert_after(&list, anchor);
  return node;
}

ItemNode* InsertBefore(ItemList& list, ItemNode* anchor, int id = 0) {
  ItemNode* node = NewItem(id);
  node->insert_before(&list, anchor);
  return node;
}

// A list of `n` nodes with ids and ordinals 0, 1, ..., n - 1.
void Fill(ItemList& list, int n) {
  for (int i = 0; i < n; ++i) InsertAfter(list, list.last(), i);
}

std::vector<int> Ids(const ItemList& list) {
  std::vector<int> ids;
  for (ItemNode* p = list.first(); p != nullptr; p = p->next_node()) ids.push_back(p->id);
  return ids;
}

std::vector<double> Ordinals(const ItemList& list) {
  std::vector<double> ords;
  for (ItemNode* p = list.first(); p != nullptr; p = p->next_node()) ords.push_back(p->ord());
  return ords;
}

std::vector<double> Iota(std::size_t n) {
  std::vector<double> ords;
  for (std::size_t i = 0; i < n; ++i) ords.push_back(static_cast<double>(i));
  return ords;
}

// Both link directions agree, the ends are the ends, the ordinals strictly increase.
void ExpectWellFormed(const ItemList& list) {
  std::vector<ItemNode*> forward;
  for (ItemNode* p = list.first(); p != nullptr; p = p->next_node()) forward.push_back(p);
  std::vector<ItemNode*> backward;
  for (ItemNode* p = list.last(); p != nullptr; p = p->previous_node()) backward.push_back(p);
  ASSERT_EQ(forward, std::vector<ItemNode*>(backward.rbegin(), backward.rend()));
  EXPECT_EQ(list.length(), static_cast<int>(forward.size()));
  EXPECT_EQ(list.first() == nullptr, list.last() == nullptr);
  for (std::size_t i = 1; i < forward.size(); ++i) {
    ASSERT_LT(forward[i - 1]->ord(), forward[i]->ord()) << "at position " << i;
  }
}

TEST(OrderedListTest, EmptyList) {
  ItemList list;
  EXPECT_EQ(list.first(), nullptr);
  EXPECT_EQ(list.last(), nullptr);
  EXPECT_EQ(list.length(), 0);
  list.regularize();
  EXPECT_EQ(list.length(), 0);
}

TEST(OrderedListTest, TheFirstNodeGetsZeroWhicheverWayItIsInserted) {
  for (bool after : {true, false}) {
    ItemList list;
    ItemNode* node = after ? InsertAfter(list, nullptr) : InsertBefore(list, nullptr);
    EXPECT_EQ(list.first(), node);
    EXPECT_EQ(list.last(), node);
    EXPECT_EQ(node->ord(), 0.0);
    ExpectWellFormed(list);
  }
}

TEST(OrderedListTest, InsertionPlacesAndLabelsTheNewNode) {
  enum Anchor { kNone, kA, kB };
  struct Case {
    const char* what;
    bool after;
    Anchor anchor;
    std::vector<int> ids;  // the new node is 9
    double ordinal;
  };
  const Case cases[] = {
      {"after the first", true, kA, {0, 9, 1}, 0.5},
      {"after the last", true, kB, {0, 1, 9}, 2.0},
      {"before the first", false, kA, {9, 0, 1}, -1.0},
      {"before the last", false, kB, {0, 9, 1}, 0.5},
      {"after no node: second place", true, kNone, {0, 9, 1}, 0.5},
      {"before no node: the front", false, kNone, {9, 0, 1}, -1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ItemList list;
    Fill(list, 2);
    ItemNode* anchor = c.anchor == kNone ? nullptr : c.anchor == kA ? list.first() : list.last();
    ItemNode* node = c.after ? InsertAfter(list, anchor, 9) : InsertBefore(list, anchor, 9);
    EXPECT_EQ(Ids(list), c.ids);
    EXPECT_EQ(node->ord(), c.ordinal);
    ExpectWellFormed(list);
  }
}

TEST(OrderedListTest, AShrinkingGapRelabelsTheListOnlyAtTheThirtyFourthInsertion) {
  ItemList list;
  Fill(list, 2);
  ItemNode* a = list.first();
  std::vector<ItemNode*> inserted;
  for (int i = 1; i <= 33; ++i) {
    inserted.push_back(InsertAfter(list, a, i + 1));
    EXPECT_EQ(inserted.back()->ord(), 1.0 / static_cast<double>(1ull << i));
  }
  // Nothing was relabelled: every earlier node keeps its ordinal.
  EXPECT_EQ(a->ord(), 0.0);
  EXPECT_EQ(list.last()->ord(), 1.0);
  for (std::size_t i = 0; i < inserted.size(); ++i) {
    EXPECT_EQ(inserted[i]->ord(), 1.0 / static_cast<double>(1ull << (i + 1)));
  }

  InsertAfter(list, a, 35);
  EXPECT_EQ(Ordinals(list), Iota(36));
  ExpectWellFormed(list);
}

TEST(OrderedListTest, RemovalMendsTheEndsAndRelabelsNothing) {
  ItemList list;
  Fill(list, 4);
  InsertAfter(list, list.first(), 9);  // ordinals 0, 0.5, 1, 2, 3

  ItemNode* first = list.first();
  first->remove();
  EXPECT_EQ(first->next_node(), nullptr);
  EXPECT_EQ(list.first()->id, 9);
  EXPECT_EQ(list.first()->previous_node(), nullptr);
  delete first;

  ItemNode* last = list.last();
  last->remove();
  last->remove();  // a second removal changes nothing
  EXPECT_EQ(list.last()->id, 2);
  EXPECT_EQ(list.last()->next_node(), nullptr);
  delete last;

  delete list.first()->next_node();  // destroying a node unlinks it
  EXPECT_EQ(Ids(list), (std::vector<int>{9, 2}));
  EXPECT_EQ(Ordinals(list), (std::vector<double>{0.5, 2.0}));
  ExpectWellFormed(list);
}

TEST(OrderedListTest, RemovingTheOnlyNodeEmptiesTheList) {
  ItemList list;
  ItemNode* only = InsertAfter(list, nullptr);
  only->remove();
  EXPECT_EQ(list.first(), nullptr);
  EXPECT_EQ(list.last(), nullptr);
  EXPECT_EQ(list.length(), 0);
  delete only;
  // The list is usable again: a new node starts at zero.
  EXPECT_EQ(InsertBefore(list, nullptr)->ord(), 0.0);
}

TEST(OrderedListTest, DestructionGoesFromTheLastNodeToTheFirst) {
  std::vector<int> destroyed;
  {
    ItemList list;
    Fill(list, 3);
    for (ItemNode* p = list.first(); p != nullptr; p = p->next_node()) p->destroyed = &destroyed;
  }
  EXPECT_EQ(destroyed, (std::vector<int>{2, 1, 0}));
}

TEST(OrderedListTest, ValueLessIsTheStrictDocumentOrder) {
  ItemList list;
  Fill(list, 2);
  ItemNode* b = list.last();
  ItemNode* a = InsertBefore(list, b);  // between the two, by midpoint
  const value_less less;
  EXPECT_FALSE(less(a, a));
  EXPECT_FALSE(*a < *a);
  EXPECT_TRUE(less(list.first(), a));
  EXPECT_TRUE(less(a, b));
  EXPECT_FALSE(less(b, a));
  EXPECT_TRUE(*a < *b);
}

// Ordinals never collide, even where doubles are farther apart than the gap
// threshold (magnitudes of 2^19 and more): a midpoint that rounds onto a
// neighbour must relabel the list instead of taking the neighbour's value.
TEST(OrderedListTest, MidpointsBetweenHugeOrdinalsStayStrictlyBetween) {
  constexpr int kNodes = (1 << 19) + 8;  // the last ordinal is 2^19 + 7
  for (bool toward_upper : {true, false}) {
    SCOPED_TRACE(toward_upper ? "inserting before the upper node"
                              : "inserting after the lower node");
    ItemList list;
    Fill(list, kNodes);
    ItemNode* upper = list.last();
    ItemNode* lower = upper->previous_node();
    const double upper_start = upper->ord();
    bool rounded_onto_upper = false;
    bool relabelled = false;
    for (int i = 0; i < 64 && !relabelled; ++i) {
      ItemNode* p = toward_upper ? upper->previous_node() : lower;
      ItemNode* n = p->next_node();
      if ((p->ord() + n->ord()) * 0.5 == n->ord()) rounded_onto_upper = true;
      ItemNode* node = toward_upper ? InsertBefore(list, upper) : InsertAfter(list, lower);
      ASSERT_LT(node->previous_node()->ord(), node->ord()) << "insertion " << i;
      ASSERT_LT(node->ord(), node->next_node()->ord()) << "insertion " << i;
      relabelled = upper->ord() != upper_start;
    }
    EXPECT_TRUE(relabelled);
    if (toward_upper) {
      EXPECT_TRUE(rounded_onto_upper) << "the case this test is about";
    }
    EXPECT_EQ(Ordinals(list), Iota(static_cast<std::size_t>(list.length())));
  }
}

}  // namespace
}  // namespace depman
