// The host object model: dictionaries, lists, boxes, strings, the default
// text of an object and host functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "depman/depman.hpp"

namespace depman {
namespace {

ObjectRef Int(int32_t value) { return std::make_shared<Box<int32_t>>(value); }

int32_t IntOf(const ObjectRef& object) {
  return std::dynamic_pointer_cast<Box<int32_t>>(object)->Value();
}

TEST(DictionaryTest, AddRefusesAPresentKeyAndKeepsTheFirstValue) {
  Dictionary d;
  d.Add(L"x", Int(1));
  EXPECT_THROW(d.Add(L"x", Int(2)), std::invalid_argument);
  EXPECT_EQ(IntOf(d.Get(L"x")), 1);
  EXPECT_EQ(d.Count(), 1u);
}

TEST(DictionaryTest, GetOfAnAbsentKeyIsNoneAndAddsNothing) {
  Dictionary d(4);
  EXPECT_EQ(d.Get(L"missing"), nullptr);
  EXPECT_FALSE(d.Contains(L"missing"));
  EXPECT_EQ(d.Count(), 0u);
}

TEST(DictionaryTest, FindLendsTheStoredValueWithoutSharingIt) {
  Dictionary d;
  auto value = Int(5);
  d.Add(L"a", value);
  d.Add(L"none", nullptr);
  const ObjectRef* found = d.Find(L"a");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->get(), value.get());
  EXPECT_EQ(value.use_count(), 2);      // the caller's and the dictionary's, no third
  ASSERT_NE(d.Find(L"none"), nullptr);  // present, holding none
  EXPECT_EQ(*d.Find(L"none"), nullptr);
  EXPECT_EQ(d.Find(L"b"), nullptr);  // absent
}

TEST(DictionaryTest, SetAddsThenReplaces) {
  Dictionary d;
  d.Set(L"x", Int(1));
  d.Set(L"x", Int(2));
  EXPECT_EQ(IntOf(d.Get(L"x")), 2);
  EXPECT_EQ(d.Count(), 1u);
}

TEST(DictionaryTest, NoneIsAValueLikeAnyOther) {
  Dictionary d;
  d.Add(L"x", nullptr);
  EXPECT_TRUE(d.Contains(L"x"));
  EXPECT_EQ(d.Get(L"x"), nullptr);
  EXPECT_THROW(d.Add(L"x", Int(1)), std::invalid_argument);
}

TEST(DictionaryTest, LookupsByViewUseOnlyTheViewedCharacters) {
  Dictionary d;
  d.Add(L"ab", Int(1));
  const std::wstring longer = L"abc";
  const std::wstring_view prefix(longer.data(), 2);
  EXPECT_TRUE(d.Contains(prefix));
  EXPECT_EQ(IntOf(d.Get(prefix)), 1);
  EXPECT_FALSE(d.Contains(longer));
  // A key with an embedded NUL is a different key.
  d.Add(std::wstring_view(L"ab\0c", 4), Int(2));
  EXPECT_EQ(d.Count(), 2u);
  EXPECT_EQ(IntOf(d.Get(L"ab")), 1);
}

TEST(DictionaryTest, CountClearAndIteration) {
  Dictionary d;
  d.Add(L"a", Int(1));
  d.Add(L"b", Int(2));
  d.Add(L"c", Int(3));
  std::map<std::wstring, int32_t> seen;
  for (const auto& [name, value] : d) seen.emplace(name, IntOf(value));
  EXPECT_EQ(seen, (std::map<std::wstring, int32_t>{{L"a", 1}, {L"b", 2}, {L"c", 3}}));
  EXPECT_EQ(d.Count(), 3u);

  d.Clear();
  EXPECT_EQ(d.Count(), 0u);
  EXPECT_EQ(d.begin(), d.end());
  d.Add(L"a", Int(4));  // a cleared key can be added again
  EXPECT_EQ(IntOf(d.Get(L"a")), 4);
}

// From one entry held in place to many on the heap and indexed, whatever
// room was asked for first: every key is found, the order of addition is
// kept, and every value is let go exactly when the dictionary goes.
TEST(DictionaryTest, GrowsKeepingEntriesOrderAndValues) {
  for (std::size_t capacity : {0, 1, 5, 300}) {
    SCOPED_TRACE(capacity);
    auto shared = Int(7);
    {
      Dictionary d(capacity);
      for (int32_t i = 0; i < 200; ++i) d.Add(L"k" + std::to_wstring(i), i % 2 ? shared : Int(i));
      d.Set(L"k4", Int(-4));
      ASSERT_EQ(d.Count(), 200u);
      EXPECT_EQ(shared.use_count(), 101);
      int32_t expected = 0;
      for (const auto& [name, value] : d) {
        EXPECT_EQ(name, L"k" + std::to_wstring(expected));
        ++expected;
      }
      for (int32_t i = 0; i < 200; ++i) {
        const int32_t want = i == 4 ? -4 : (i % 2 ? 7 : i);
        EXPECT_EQ(IntOf(d.Get(L"k" + std::to_wstring(i))), want) << i;
      }
      EXPECT_FALSE(d.Contains(L"k200"));
      EXPECT_THROW(d.Add(L"k150", Int(0)), std::invalid_argument);
      d.Clear();
      EXPECT_EQ(shared.use_count(), 1);
      d.Add(L"k1", shared);
      EXPECT_EQ(IntOf(d.Get(L"k1")), 7);
    }
    EXPECT_EQ(shared.use_count(), 1);
  }
}

TEST(ListTest, KeepsOrderAndNone) {
  List list(2);
  EXPECT_EQ(list.Count(), 0u);
  list.Append(Int(1));
  list.Append(nullptr);
  list.Append(Int(3));
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(IntOf(list[0]), 1);
  EXPECT_EQ(list[1], nullptr);
  EXPECT_EQ(IntOf(list[2]), 3);
  std::vector<const Object*> walked;
  for (const ObjectRef& item : list) walked.push_back(item.get());
  EXPECT_EQ(walked, (std::vector<const Object*>{list[0].get(), nullptr, list[2].get()}));
}

TEST(ListTest, NamesBuildsStringsInOrder) {
  ListRef names = List::Names({L"x", L"", L"\u00e9t\u00e9"});
  std::vector<std::wstring> values;
  for (const ObjectRef& item : *names) {
    auto name = std::dynamic_pointer_cast<String>(item);
    ASSERT_NE(name, nullptr);
    values.push_back(name->Value());
  }
  EXPECT_EQ(values, (std::vector<std::wstring>{L"x", L"", L"\u00e9t\u00e9"}));
  EXPECT_EQ(List::Names({})->Count(), 0u);
}

TEST(BoxTest, IntegerText) {
  EXPECT_EQ(Box<int32_t>(0).ToString(), L"0");
  EXPECT_EQ(Box<int32_t>(-42).ToString(), L"-42");
  EXPECT_EQ(Box<int32_t>(std::numeric_limits<int32_t>::min()).ToString(), L"-2147483648");
  EXPECT_EQ(Box<int32_t>(std::numeric_limits<int32_t>::max()).ToString(), L"2147483647");
  EXPECT_EQ(Box<bool>(true).ToString(), L"true");
}

TEST(BoxTest, DoubleTextIsTheShortestThatReadsBack) {
  struct Case {
    double value;
    const wchar_t* text;
  };
  const Case cases[] = {
      {0.1, L"0.1"},       {2.5, L"2.5"},    {1.0, L"1"},
      {-0.5, L"-0.5"},     {1e21, L"1e+21"}, {1.0 / 3, L"0.3333333333333333"},
      {5e-324, L"5e-324"},
  };
  for (const Case& c : cases) EXPECT_EQ(Box<double>(c.value).ToString(), c.text) << c.value;
}

TEST(BoxTest, StatusTextIsTheEnumeratorName) {
  EXPECT_EQ(Box<Status>(Status::NODE_INVALID).ToString(), L"NODE_INVALID");
  EXPECT_EQ(Box<Status>(Status::NODE_COMPUTING).ToString(), L"NODE_COMPUTING");
  EXPECT_EQ(Box<Status>(Status::NODE_NOT_COMPUTING).ToString(), L"NODE_NOT_COMPUTING");
  EXPECT_EQ(Box<Status>(Status::NODE_READY).ToString(), L"NODE_READY");
  EXPECT_EQ(Box<Status>(Status::NODE_SYNC).ToString(), L"NODE_SYNC");
  // A value outside the enumeration still has a text: its number.
  EXPECT_EQ(Box<Status>(static_cast<Status>(7)).ToString(), L"7");
}

TEST(StringTest, KeepsEveryCharacter) {
  const std::wstring text(L"a\0\U0001F600z", 4);
  const String s(text);
  EXPECT_EQ(s.Value(), text);
  EXPECT_EQ(s.ToString(), text);
  // Distinct objects with the same characters have equal values.
  const String same{std::wstring(text)};
  EXPECT_NE(&s, &same);
  EXPECT_EQ(s.Value(), same.Value());
  EXPECT_NE(s.Value(), String(L"a").Value());
}

struct PlainObject : Object {};

TEST(ObjectTest, DefaultTextIsTheDemangledDynamicTypeName) {
  EXPECT_EQ(ConstAction(nullptr).ToString(), L"depman::ConstAction");
  // Through a base pointer it is still the dynamic type.
  const ObjectRef dictionary = std::make_shared<Dictionary>();
  EXPECT_EQ(dictionary->ToString(), L"depman::Dictionary");
  EXPECT_EQ(PlainObject().ToString(), L"depman::(anonymous namespace)::PlainObject");
}

TEST(FunctionTest, MakeFunctionPassesArgumentsInOrderAndReturnsTheResult) {
  std::vector<int32_t> calls;
  Engine::FunctionRef f = Engine::MakeFunction([&calls](ObjectRef a, ObjectRef b) -> ObjectRef {
    calls.push_back(IntOf(a));
    calls.push_back(IntOf(b));
    return a;
  });
  const ObjectRef first = Int(1);
  EXPECT_EQ(f->Invoke2(first, Int(2)), first);
  EXPECT_EQ(calls, (std::vector<int32_t>{1, 2}));
}

TEST(FunctionTest, MakeFunctionAcceptsStatefulAndVoidCallables) {
  std::vector<int> seen;
  Engine::FunctionRef f = Engine::MakeFunction(
      [calls = 0, &seen](ObjectRef, ObjectRef) mutable { seen.push_back(++calls); });
  EXPECT_EQ(f->Invoke2(nullptr, nullptr), nullptr);
  EXPECT_EQ(f->Invoke2(nullptr, nullptr), nullptr);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace depman
