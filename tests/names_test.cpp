#include "names.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "inline_vector.hpp"

namespace depman {
namespace {

// Random interning and erasing, checked against a plain set: every name in
// use is found with its own characters, every other name is not, however
// the erasures shifted the probe runs.
TEST(NameTableTest, FindsExactlyTheNamesInUseThroughGrowthAndErasure) {
  NameTable table;
  std::set<std::wstring> in_use;
  std::mt19937 random(7);
  for (int step = 0; step < 20000; ++step) {
    const std::wstring name = L"n" + std::to_wstring(random() % 3000);
    if (random() % 3 != 0) {
      NameEntry* entry = table.intern(name);
      ASSERT_EQ(entry->name(), name);
      ASSERT_EQ(table.intern(name), entry);  // interning twice gives the same entry
      in_use.insert(name);
    } else if (NameEntry* entry = table.find(name)) {
      table.erase(entry);
      in_use.erase(name);
    }
    if (step % 1000 == 0 || in_use.empty()) {
      for (int k = 0; k < 3000; ++k) {
        const std::wstring probe = L"n" + std::to_wstring(k);
        NameEntry* found = table.find(probe);
        ASSERT_EQ(found != nullptr, in_use.count(probe) == 1) << step << " " << k;
        if (found != nullptr) {
          ASSERT_EQ(found->name(), probe);
        }
      }
    }
    ASSERT_EQ(table.size(), in_use.size());
  }
}

TEST(NameTableTest, KeepsNamesThatDifferOnlyInLengthOrAreEmpty) {
  NameTable table;
  NameEntry* empty = table.intern(L"");
  NameEntry* a = table.intern(L"a");
  NameEntry* aa = table.intern(L"aa");
  EXPECT_NE(empty, a);
  EXPECT_NE(a, aa);
  EXPECT_EQ(table.find(L""), empty);
  EXPECT_EQ(table.find(std::wstring_view(L"aa", 1)), a);
  table.erase(a);
  EXPECT_EQ(table.find(L"a"), nullptr);
  EXPECT_EQ(table.find(L"aa"), aa);
  table.erase(aa);
  table.erase(empty);
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.find(L""), nullptr);
}

// Inserting and erasing anywhere, across the move from inline to heap storage.
TEST(InlineVectorTest, BehavesLikeAVectorAcrossTheInlineBoundary) {
  InlineVector<int, 1> small;
  std::vector<int> model;
  std::mt19937 random(3);
  for (int step = 0; step < 2000; ++step) {
    if (model.empty() || random() % 3 != 0) {
      const std::size_t at = model.empty() ? 0 : random() % (model.size() + 1);
      small.insert(small.begin() + at, step);
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), step);
    } else {
      const std::size_t at = random() % model.size();
      small.erase(small.begin() + at);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
    }
    ASSERT_EQ(std::vector<int>(small.begin(), small.end()), model);
  }
  small.clear();
  EXPECT_TRUE(small.empty());
}

}  // namespace
}  // namespace depman
