// Definitions and name resolution in DepManager.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine_fixture.hpp"

namespace depman::engine_test {
namespace {

constexpr ResolveMode kAllModes[] = {ResolveMode::AT, ResolveMode::BEFORE,
                                     ResolveMode::AT_OR_BEFORE};

// x is defined at N1, N2 and N3; M lies between N1 and N2 and Z after N3,
// neither defines x. Each definer's result holds its own label under x.
class ResolveTest : public ::testing::Test {
 protected:
  ResolveTest() {
    for (const wchar_t* label : {L"N1", L"M", L"N2", L"N3", L"Z"}) {
      const std::wstring text = label;
      const bool defines = text[0] == L'N';
      m_nodes[text] = doc.Append(
          MakeAction(defines ? List::Names({L"x"}) : nullptr, [text](const EnvironmentRef&) {
            return Dict({{L"x", Str(text)}});
          }));
    }
  }

  Position* node(const std::wstring& label) { return m_nodes.at(label); }

  TestDocument doc;

 private:
  std::map<std::wstring, Position*> m_nodes;
};

TEST_F(ResolveTest, ModesChooseTheDefinerSeenFromTheNode) {
  struct Case {
    const wchar_t* at;
    ResolveMode mode;
    const wchar_t* definer;  // empty: none
  };
  const Case cases[] = {
      {L"N2", ResolveMode::AT, L"N2"},
      {L"N2", ResolveMode::BEFORE, L"N1"},
      {L"N2", ResolveMode::AT_OR_BEFORE, L"N2"},

      {L"M", ResolveMode::AT, L""},
      {L"M", ResolveMode::BEFORE, L"N1"},
      {L"M", ResolveMode::AT_OR_BEFORE, L"N1"},

      {L"N1", ResolveMode::AT, L"N1"},
      {L"N1", ResolveMode::BEFORE, L""},
      {L"N1", ResolveMode::AT_OR_BEFORE, L"N1"},

      {L"Z", ResolveMode::AT, L""},
      {L"Z", ResolveMode::BEFORE, L"N3"},
      {L"Z", ResolveMode::AT_OR_BEFORE, L"N3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "at " << ToStrng(c.at) << ", mode " << static_cast<int>(c.mode));
    const std::wstring expected = c.definer;
    EXPECT_EQ(TextAt(doc.dm().resolve(L"x", node(c.at), c.mode, true), L"x"), expected);
    EXPECT_EQ(doc.dm().is_bound(L"x", node(c.at), c.mode), expected.empty() ? 0 : 1);
  }
}

TEST_F(ResolveTest, FindNextDefIsTheFirstDefinerStrictlyAfter) {
  EXPECT_EQ(doc.dm().find_next_def(L"x", node(L"N1")), node(L"N2"));
  EXPECT_EQ(doc.dm().find_next_def(L"x", node(L"M")), node(L"N2"));
  EXPECT_EQ(doc.dm().find_next_def(L"x", node(L"N2")), node(L"N3"));
  EXPECT_EQ(doc.dm().find_next_def(L"x", node(L"N3")), nullptr);
  EXPECT_EQ(doc.dm().find_next_def(L"unknown", node(L"N1")), nullptr);
}

TEST(Resolve, OnlyForceComputesADefinerEvenALazyOne) {
  TestDocument doc;
  auto lazy_definer = MakeAction(List::Names({L"x"}), [](const EnvironmentRef&) {
    return Dict({{L"x", Str(L"1")}});
  });
  doc.Append(lazy_definer, /*lazy=*/true);
  Position* reader = doc.Append(nullptr);
  DepManager& dm = doc.dm();

  EXPECT_EQ(dm.is_bound(L"x", reader, ResolveMode::BEFORE), 1);
  EXPECT_EQ(dm.resolve(L"x", reader, ResolveMode::BEFORE, false), nullptr);
  EXPECT_EQ(lazy_definer->invokes(), 0);

  DictionaryRef computed = dm.resolve(L"x", reader, ResolveMode::BEFORE, true);
  EXPECT_EQ(TextAt(computed, L"x"), L"1");
  EXPECT_EQ(lazy_definer->invokes(), 1);

  // Now ready: a pure read finds the same dictionary without computing.
  EXPECT_EQ(dm.resolve(L"x", reader, ResolveMode::BEFORE, false), computed);
  EXPECT_EQ(lazy_definer->invokes(), 1);
}

TEST(Resolve, ReturnsTheDefinersDictionaryEvenWithoutTheName) {
  TestDocument doc;
  const DictionaryRef without_x = Dict({{L"other", Str(L"o")}});
  doc.Append(
      MakeAction(List::Names({L"x"}), [without_x](const EnvironmentRef&) { return without_x; }));
  Position* reader = doc.Append(nullptr);

  EXPECT_EQ(doc.dm().resolve(L"x", reader, ResolveMode::BEFORE, true), without_x);
  EXPECT_EQ(without_x->Count(), 1u);
}

TEST(Resolve, MissingNameOrNodeResolvesToNothing) {
  TestDocument doc;
  Position* definer = doc.Append(MakeAction(List::Names({L"x"}), [](const EnvironmentRef&) {
    return Dict({{L"x", Str(L"1")}});
  }));
  Position* reader = doc.Append(nullptr);
  for (ResolveMode mode : kAllModes) {
    SCOPED_TRACE(static_cast<int>(mode));
    EXPECT_EQ(doc.dm().resolve(L"y", reader, mode, true), nullptr);
    EXPECT_EQ(doc.dm().is_bound(L"y", reader, mode), 0);
    EXPECT_EQ(doc.dm().resolve(L"x", nullptr, mode, true), nullptr);
    EXPECT_EQ(doc.dm().is_bound(L"x", nullptr, mode), 0);
  }
  EXPECT_EQ(definer->ready(), nullptr);  // nothing was computed
}

TEST(Resolve, DefinitionsAreASetPerNameThatGoesWithItsLastDefiner) {
  TestDocument doc;
  Position* definer = doc.Append(nullptr);
  Position* other = doc.Append(nullptr);
  DepManager& dm = doc.dm();

  dm.add_def(L"x", definer);
  dm.add_def(L"x", definer);
  dm.remove_def(L"x", other);    // not a definer: no change
  dm.remove_def(L"y", definer);  // no definers at all: no change
  EXPECT_EQ(dm.is_bound(L"x", definer, ResolveMode::AT), 1);

  dm.remove_def(L"x", definer);  // one removal undoes both additions
  for (ResolveMode mode : kAllModes) {
    SCOPED_TRACE(static_cast<int>(mode));
    EXPECT_EQ(dm.is_bound(L"x", definer, mode), 0);
    EXPECT_EQ(dm.is_bound(L"x", other, mode), 0);
    EXPECT_EQ(dm.resolve(L"x", other, mode, true), nullptr);
  }
  EXPECT_TRUE(dm.empty());
  EXPECT_EQ(dm.find_next_def(L"x", definer), nullptr);

  dm.add_def(L"x", other);  // the name comes back with a fresh set
  EXPECT_EQ(dm.is_bound(L"x", other, ResolveMode::AT), 1);
  EXPECT_EQ(dm.is_bound(L"x", definer, ResolveMode::AT_OR_BEFORE), 0);
  dm.remove_def(L"x", other);
}

}  // namespace
}  // namespace depman::engine_test
