// The Depman facade driven the way a host drives it: handles, insertion,
// the evaluation sweep, notifications, unloading, unknown handles and
// re-entrant calls from host callbacks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <depman/depman.hpp>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_actions.hpp"

namespace depman_test {
namespace {

using depman::Depman;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr Status kInvalid = Status::NODE_INVALID;
constexpr Status kComputing = Status::NODE_COMPUTING;
constexpr Status kNotComputing = Status::NODE_NOT_COMPUTING;

// "y = x * 10".
TestActionRef TenTimesX() {
  return NumberCell(L"y", [](Environment& env) { return ReadNumber(env, L"x") * 10; });
}

// An action that does `effect` to the document while it runs, then defines "y".
TestActionRef Meddler(std::function<void()> effect) {
  return NumberCell(L"y", [effect = std::move(effect)](Environment&) {
    effect();
    return 1.0;
  });
}

// ---------------------------------------------------------------------------
// Handles and insertion

TEST(FacadeHandles, IssuesOneTwoThreeAndListsThemInDocumentOrder) {
  Depman doc;
  EXPECT_EQ(doc.AddAfter(0, Constant(L"a", 1), 0), 1);
  EXPECT_EQ(doc.AddAfter(0, Constant(L"b", 2), 0), 2);   // after the first node
  EXPECT_EQ(doc.AddBefore(0, Constant(L"c", 3), 0), 3);  // in front
  EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(3, 1, 2));
  EXPECT_EQ(doc.GetLastHandle(), 2);
}

TEST(FacadeHandles, IssuesOneMoreThanTheLargestHandleRegistered) {
  Depman doc;
  doc.AddAfter(0, Constant(L"a", 1), 10, 0);
  doc.AddAfter(10, Constant(L"b", 2), 3, 0);
  doc.AddBefore(10, Constant(L"c", 3), -5, 0);
  EXPECT_EQ(doc.AddAfter(3, Constant(L"d", 4), 0), 11);
  EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(-5, 10, 3, 11));
  EXPECT_EQ(doc.GetLastHandle(), 11);
}

// A handle the host gives to a second node names that node only, whether the
// handle is a small one, a negative one or one far from the others.
TEST(FacadeHandles, AHandleGivenTwiceNamesTheLaterNode) {
  for (int32_t h : {7, -7, std::numeric_limits<int32_t>::max() - 1}) {
    SCOPED_TRACE(h);
    Depman doc;
    doc.AddAfter(0, Constant(L"a", 1), h, 0);
    doc.AddAfter(h, Constant(L"b", 2), h, 0);
    EXPECT_EQ(AsNumber(doc.GetValue(h, L"b")), 2);
    EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(h, h));
    doc.Remove(h);  // the later node goes; the handle names nothing now
    EXPECT_EQ(doc.Ready(h), nullptr);
    EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(h));
    EXPECT_EQ(doc.IsBoundAt(h, L"a"), 0);
  }
}

TEST(FacadeHandles, EmptyDocumentListsNoHandles) {
  Depman doc;
  ListRef handles = doc.GetHandles();
  ASSERT_NE(handles, nullptr);
  EXPECT_EQ(handles->Count(), 0u);
  EXPECT_EQ(doc.GetLastHandle(), 0);
}

TEST(FacadeHandles, NoHandleIsIssuedPastTheLargestInt32) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  Depman doc;
  doc.AddAfter(0, Constant(L"a", 1), kMax, 0);
  auto action = Constant(L"b", 2);
  EXPECT_THROW(doc.AddAfter(kMax, action, 0), std::overflow_error);
  EXPECT_THROW(doc.AddBefore(kMax, action, 0), std::overflow_error);
  EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(kMax));
  EXPECT_EQ(action.use_count(), 1);

  doc.AddAfter(kMax, action, 5, 0);  // handles the host chooses still work
  EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(kMax, 5));
}

TEST(FacadeInsertion, IntoAnEmptyDocumentTheNodeIsTheOnlyOne) {
  for (bool before : {false, true}) {
    Depman doc;
    const int32_t h =
        before ? doc.AddBefore(0, Constant(L"a", 1), 0) : doc.AddAfter(0, Constant(L"a", 1), 0);
    EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(h));
    EXPECT_EQ(AsNumber(doc.GetValue(h, L"a")), 1);
  }
}

TEST(FacadeInsertion, AnchorDecidesWhereTheNewNodeLands) {
  // Document 1, 2; handle 3 was removed, 99 was never issued, 0 is never issued.
  struct Case {
    bool before;
    int32_t anchor;
    std::vector<int32_t> order;
  };
  const Case cases[] = {
      {false, 1, {1, 4, 2}},  {false, 2, {1, 2, 4}}, {false, 0, {1, 4, 2}}, {false, 3, {1, 4, 2}},
      {false, 99, {1, 4, 2}}, {true, 1, {4, 1, 2}},  {true, 2, {1, 4, 2}},  {true, 0, {4, 1, 2}},
      {true, 3, {4, 1, 2}},   {true, 99, {4, 1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.before ? "AddBefore " : "AddAfter ") + std::to_string(c.anchor));
    Depman doc;
    doc.AddAfter(0, Constant(L"a", 1), 0);
    doc.AddAfter(1, Constant(L"b", 2), 0);
    doc.AddAfter(2, Constant(L"c", 3), 0);
    doc.Remove(3);
    const int32_t h = c.before ? doc.AddBefore(c.anchor, Constant(L"n", 4), 0)
                               : doc.AddAfter(c.anchor, Constant(L"n", 4), 0);
    EXPECT_EQ(h, 4);
    EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAreArray(c.order));
  }
}

TEST(FacadeInsertion, ManyInsertionsAtOnePlaceKeepDocumentOrder) {
  // Every new node goes directly after node 1, so the same gap is split over
  // and over, far more often than a double can halve it.
  Depman doc;
  doc.AddAfter(0, Constant(L"x", 0), 0);
  const int32_t reader = doc.AddAfter(1, TenTimesX(), 0);
  std::vector<int32_t> order = {reader};
  for (int i = 1; i <= 200; ++i) {
    order.insert(order.begin(), doc.AddAfter(1, Constant(L"x", i), 0));
  }
  order.insert(order.begin(), 1);
  EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAreArray(order));
  // The reader sees the nearest earlier x: the first one inserted after node 1.
  EXPECT_EQ(AsNumber(doc.GetValue(reader, L"y")), 10);
}

// ---------------------------------------------------------------------------
// The evaluation sweep

TEST(FacadeSweep, RemovingANodeKeepsTheSweepWhereItMustResume) {
  // Nodes 1..4 are independent. After GetAllValues(1) the sweep resumes at
  // node 2; removing node 2 hands that place to node 3.
  struct Case {
    int32_t removed;
    std::vector<int32_t> computed_next;
  };
  const Case cases[] = {{2, {3, 4}}, {3, {2, 4}}, {1, {2, 3, 4}}};
  for (const Case& c : cases) {
    SCOPED_TRACE("removed " + std::to_string(c.removed));
    Depman doc;
    NotifyLog log;
    for (int32_t h = 1; h <= 4; ++h) doc.AddAfter(h - 1, Constant(L"v", h), h, 0);
    doc.GetAllValues(1);
    doc.Remove(c.removed);
    doc.RegisterNotify(log.Target());
    doc.GetAllValues(4);
    EXPECT_THAT(HandlesWith(log.Take(), kComputing), ElementsAreArray(c.computed_next));
  }
}

TEST(FacadeSweep, LazyNodesAreComputedOnlyOnDemand) {
  Depman doc;
  auto lazy_x = Constant(L"x", 2);
  auto unread_lazy = Constant(L"z", 3);
  const int32_t hx = doc.AddAfter(0, lazy_x, 1);
  const int32_t ha = doc.AddAfter(hx, Constant(L"a", 1), 0);
  const int32_t hy = doc.AddAfter(ha, TenTimesX(), 0);
  const int32_t hz = doc.AddAfter(hy, unread_lazy, 1);
  const int32_t hb = doc.AddAfter(hz, Constant(L"b", 4), 0);

  doc.GetAllValues(ha);  // the sweep passes the lazy node
  EXPECT_EQ(lazy_x->invocations(), 0);
  EXPECT_EQ(doc.Ready(hx), nullptr);

  EXPECT_EQ(AsNumber(doc.GetValue(hb, L"b")), 4);  // y reads x: computed for it
  EXPECT_EQ(lazy_x->invocations(), 1);
  EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 20);
  EXPECT_EQ(unread_lazy->invocations(), 0);

  EXPECT_EQ(AsNumber(doc.GetValue(hz, L"z")), 3);  // asked for itself
  EXPECT_EQ(unread_lazy->invocations(), 1);
  EXPECT_EQ(lazy_x->invocations(), 1);
}

TEST(FacadeSweep, DisabledInvalidationSendsNoInvalidNowOrWhenEnabled) {
  Depman doc;
  NotifyLog log;
  auto reader = TenTimesX();
  const int32_t hx = doc.AddAfter(0, Constant(L"x", 1), 0);
  const int32_t hy = doc.AddAfter(hx, reader, 0);
  ASSERT_EQ(AsNumber(doc.GetValue(hy, L"y")), 10);
  doc.RegisterNotify(log.Target());

  doc.DisableDeps();
  doc.Update(hx, Constant(L"x", 2), 0);
  doc.EnableDeps();
  EXPECT_THAT(log.Take(), IsEmpty());
  // Nobody told the reader, so its old result stands.
  EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 10);
  EXPECT_EQ(reader->invocations(), 1);

  log.Take();
  doc.Update(hx, Constant(L"x", 3), 0);  // invalidation is back for later edits
  EXPECT_THAT(HandlesWith(log.Take(), kInvalid), ElementsAre(hy, hy));
  EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 30);
}

// ---------------------------------------------------------------------------
// Notifications

TEST(FacadeNotify, NoticesBeforeRegistrationAreLostLaterOnesReachOlderNodes) {
  Depman doc;
  NotifyLog log;
  const int32_t hx = doc.AddAfter(0, Constant(L"x", 1), 0);
  const int32_t hy = doc.AddAfter(hx, TenTimesX(), 0);
  doc.GetAllValues(hy);  // computed while nobody listens

  doc.RegisterNotify(log.Target());
  EXPECT_THAT(log.Take(), IsEmpty());
  doc.Update(hx, Constant(L"x", 2), 0);
  doc.GetAllValues(hy);
  EXPECT_THAT(log.Take(), ElementsAre(Notice{hy, kInvalid}, Notice{hy, kInvalid},
                                      Notice{hx, kComputing}, Notice{hx, kNotComputing},
                                      Notice{hy, kComputing}, Notice{hy, kNotComputing}));
}

TEST(FacadeNotify, FunctionTargetReceivesBoxedHandleAndStatus) {
  Depman doc;
  std::vector<Notice> received;
  doc.RegisterNotify(depman::Engine::MakeFunction([&received](ObjectRef h, ObjectRef s) {
    const auto* handle = dynamic_cast<const depman::Box<int32_t>*>(h.get());
    const auto* status = dynamic_cast<const depman::Box<Status>*>(s.get());
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(status, nullptr);
    received.push_back({handle->Value(), status->Value()});
  }));
  const int32_t h = doc.AddAfter(0, Constant(L"a", 1), 0);
  doc.GetAllValues(h);
  EXPECT_THAT(received, ElementsAre(Notice{h, kComputing}, Notice{h, kNotComputing}));
}

TEST(FacadeNotify, RegisteringNoTargetStopsNotifications) {
  struct Form {
    const char* name;
    std::function<void(Depman&, const NotifyLog&)> start;
    std::function<void(Depman&)> stop;
  };
  const Form forms[] = {
      {"Notify", [](Depman& doc, const NotifyLog& log) { doc.RegisterNotify(log.Target()); },
       [](Depman& doc) { doc.RegisterNotify(depman::NotifyRef{}); }},
      {"Engine::Function",
       [](Depman& doc, const NotifyLog& log) {
         doc.RegisterNotify(
             depman::Engine::MakeFunction([target = log.Target()](ObjectRef h, ObjectRef s) {
               target->Invoke(dynamic_cast<depman::Box<int32_t>&>(*h).Value(),
                              dynamic_cast<depman::Box<Status>&>(*s).Value());
             }));
       },
       [](Depman& doc) { doc.RegisterNotify(depman::Engine::FunctionRef{}); }},
  };
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    Depman doc;
    NotifyLog log;
    form.start(doc, log);
    const int32_t hx = doc.AddAfter(0, Constant(L"x", 1), 0);
    const int32_t hy = doc.AddAfter(hx, TenTimesX(), 0);
    doc.GetAllValues(hy);
    ASSERT_THAT(log.Take(), Not(IsEmpty()));

    form.stop(doc);
    doc.Update(hx, Constant(L"x", 2), 0);
    doc.GetAllValues(hy);
    EXPECT_THAT(log.Take(), IsEmpty());
  }
}

// ---------------------------------------------------------------------------
// Unload and destruction

// A document whose every action the test keeps: a plain node, a two-link
// "%next" chain, a lazy node never computed and a node without an action.
class LoadedDocument : public ::testing::Test {
 protected:
  LoadedDocument() {
    tail_ = std::make_shared<TestAction>(
        nullptr,
        [](Environment&) {
          return Values({{L"t", Number(3)}});
        },
        L"tail");
    head_ = std::make_shared<TestAction>(
        depman::List::Names({L"t"}),
        [tail = tail_](Environment&) {
          return Values({{L"%next", tail}});
        },
        L"head");
    plain_ = Constant(L"a", 1);
    lazy_ = Constant(L"z", 2);
  }

  void Load(Depman& doc) {
    doc.RegisterNotify(log_.Target());
    h_plain_ = doc.AddAfter(0, plain_, 0);
    h_chain_ = doc.AddAfter(h_plain_, head_, 0);
    h_lazy_ = doc.AddAfter(h_chain_, lazy_, 1);
    h_empty_ = doc.AddAfter(h_lazy_, nullptr, 0);
    ASSERT_EQ(AsNumber(doc.GetValue(h_chain_, L"t")), 3);  // both links exist now
    log_.Take();
  }

  void ExpectEachReleasedOnce() {
    for (const TestActionRef& action : {plain_, head_, tail_, lazy_}) {
      EXPECT_EQ(action->releases(), 1) << depman::ToStrng(action->ToString());
    }
  }

  NotifyLog log_;
  TestActionRef plain_, head_, tail_, lazy_;
  int32_t h_plain_ = 0, h_chain_ = 0, h_lazy_ = 0, h_empty_ = 0;
};

TEST_F(LoadedDocument, UnloadReleasesEveryActionOnceAndNotifiesNothing) {
  Depman doc;
  Load(doc);
  doc.Unload();
  ExpectEachReleasedOnce();
  EXPECT_THAT(log_.Take(), IsEmpty());

  doc.Unload();  // a second Unload does nothing
  ExpectEachReleasedOnce();
}

TEST_F(LoadedDocument, AfterUnloadQueriesFindNothing) {
  Depman doc;
  Load(doc);
  doc.Unload();
  EXPECT_EQ(doc.GetValue(h_plain_, L"a"), nullptr);
  EXPECT_EQ(doc.GetAllValues(h_chain_), nullptr);
  EXPECT_EQ(doc.Ready(h_plain_), nullptr);
  EXPECT_EQ(doc.GetValueAt(h_chain_, L"a"), nullptr);
  EXPECT_EQ(doc.IsBoundAt(h_chain_, L"a"), 0);
  ListRef handles = doc.GetHandles();
  ASSERT_NE(handles, nullptr);
  EXPECT_EQ(handles->Count(), 0u);
  EXPECT_EQ(doc.GetLastHandle(), 0);

  // Accepted and harmless.
  doc.Remove(h_plain_);
  doc.ClearChain(h_chain_, 0);
  doc.RegisterNotify(log_.Target());
  doc.DisableDeps();
  doc.EnableDeps();
  ExpectEachReleasedOnce();
  EXPECT_THAT(log_.Take(), IsEmpty());
}

TEST_F(LoadedDocument, AfterUnloadEditsThrow) {
  Depman doc;
  Load(doc);
  doc.Unload();
  auto spare = Constant(L"s", 0);
  const std::function<void()> edits[] = {
      [&] { doc.AddAfter(h_plain_, spare, 0); },  [&] { doc.AddAfter(0, spare, 50, 0); },
      [&] { doc.AddBefore(h_plain_, spare, 0); }, [&] { doc.AddBefore(0, spare, 51, 0); },
      [&] { doc.Update(h_plain_, spare, 0); },
  };
  for (const auto& edit : edits) EXPECT_THROW(edit(), std::logic_error);
  EXPECT_EQ(spare->invocations(), 0);
  EXPECT_EQ(spare->releases(), 0);
}

TEST_F(LoadedDocument, DestroyingWithoutUnloadReleasesEveryActionOnce) {
  {
    Depman doc;
    Load(doc);
  }
  ExpectEachReleasedOnce();
  EXPECT_THAT(log_.Take(), IsEmpty());
}

// ---------------------------------------------------------------------------
// Handles that name no node

// x = 1; y = x * 10 computed; handle 3 removed.
class DocumentWithGaps : public ::testing::Test {
 protected:
  DocumentWithGaps() {
    doc_.AddAfter(0, x_, 0);
    doc_.AddAfter(1, y_, 0);
    doc_.AddAfter(2, Constant(L"gone", 0), 0);
    doc_.Remove(3);
    doc_.GetAllValues(2);
    doc_.RegisterNotify(log_.Target());
  }

  static constexpr int32_t kUnknown[] = {0, 3, 99, -1};
  Depman doc_;
  NotifyLog log_;
  TestActionRef x_ = Constant(L"x", 1);
  TestActionRef y_ = TenTimesX();
};

TEST_F(DocumentWithGaps, QueriesWithAnUnknownHandleFindNothing) {
  for (int32_t h : kUnknown) {
    SCOPED_TRACE(h);
    EXPECT_EQ(doc_.GetAllValues(h), nullptr);
    EXPECT_EQ(doc_.GetValue(h, L"y"), nullptr);
    EXPECT_EQ(doc_.Ready(h), nullptr);
    EXPECT_EQ(doc_.GetValueAt(h, L"x"), nullptr);
    EXPECT_EQ(doc_.IsBoundAt(h, L"x"), 0);
  }
  // The same queries on a real node do find the definition.
  ASSERT_NE(doc_.GetValueAt(2, L"x"), nullptr);
  EXPECT_EQ(AsNumber(doc_.GetValueAt(2, L"x")->Get(L"x")), 1);
  EXPECT_EQ(doc_.IsBoundAt(2, L"x"), 1);
  EXPECT_THAT(log_.Take(), IsEmpty());
}

TEST_F(DocumentWithGaps, EditsWithAnUnknownHandleChangeNothing) {
  auto spare = Constant(L"x", 7);
  for (int32_t h : kUnknown) {
    SCOPED_TRACE(h);
    doc_.Remove(h);
    doc_.Update(h, spare, 0);
    doc_.ClearChain(h, 0);
  }
  EXPECT_EQ(spare->invocations(), 0);
  EXPECT_EQ(spare->releases(), 0);
  EXPECT_EQ(spare.use_count(), 1);  // the document kept no reference

  EXPECT_THAT(HandleValues(doc_.GetHandles()), ElementsAre(1, 2));
  EXPECT_NE(doc_.Ready(1), nullptr);
  EXPECT_NE(doc_.Ready(2), nullptr);
  EXPECT_EQ(AsNumber(doc_.GetValue(2, L"y")), 10);
  EXPECT_EQ(x_->invocations(), 1);
  EXPECT_EQ(y_->invocations(), 1);
  EXPECT_THAT(log_.Take(), IsEmpty());
}

// ---------------------------------------------------------------------------
// Queries on real nodes

TEST(FacadeQueries, NodeWithoutActionHasNoValuesAndHidesNothing) {
  Depman doc;
  const int32_t hx = doc.AddAfter(0, Constant(L"x", 1), 0);
  const int32_t hn = doc.AddAfter(hx, nullptr, 0);
  const int32_t hy = doc.AddAfter(hn, TenTimesX(), 0);
  EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 10);
  EXPECT_EQ(doc.GetAllValues(hn), nullptr);
  EXPECT_EQ(doc.GetValue(hn, L"x"), nullptr);
  EXPECT_EQ(doc.Ready(hn), nullptr);
}

TEST(FacadeQueries, GetValueAtAndIsBoundAtSeeTheNearestDefinitionAndComputeNothing) {
  Depman doc;
  auto first_x = Constant(L"x", 1);
  const int32_t h1 = doc.AddAfter(0, first_x, 0);
  const int32_t h2 = doc.AddAfter(h1, TenTimesX(), 0);
  const int32_t h3 = doc.AddAfter(h2, Constant(L"x", 5), 0);

  EXPECT_EQ(doc.IsBoundAt(h1, L"x"), 1);  // its own definition counts
  EXPECT_EQ(doc.IsBoundAt(h1, L"y"), 0);
  EXPECT_EQ(doc.IsBoundAt(h3, L"y"), 1);
  EXPECT_EQ(doc.GetValueAt(h2, L"x"), nullptr);  // not computed yet
  EXPECT_EQ(first_x->invocations(), 0);

  doc.GetAllValues(h3);
  ASSERT_NE(doc.GetValueAt(h2, L"x"), nullptr);
  EXPECT_EQ(AsNumber(doc.GetValueAt(h2, L"x")->Get(L"x")), 1);
  ASSERT_NE(doc.GetValueAt(h3, L"x"), nullptr);
  EXPECT_EQ(AsNumber(doc.GetValueAt(h3, L"x")->Get(L"x")), 5);
}

// ---------------------------------------------------------------------------
// Faulty host input

TEST(FacadeFaults, ActionWithoutResultOrWithABadFollowUpThrowsNamingItsNode) {
  struct Case {
    const char* name;
    TestAction::Compute compute;
  };
  const Case cases[] = {
      {"no dictionary", [](Environment&) { return DictionaryRef{}; }},
      {"%next not an Action",
       [](Environment&) {
         return Values({{L"%next", Number(1)}});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Depman doc;
    NotifyLog log;
    doc.RegisterNotify(log.Target());
    auto faulty = std::make_shared<TestAction>(depman::List::Names({L"x"}), c.compute, L"faulty");
    doc.AddAfter(0, faulty, 42, 0);

    try {
      doc.GetAllValues(42);
      ADD_FAILURE() << "no exception";
    } catch (const std::logic_error& e) {
      EXPECT_THAT(e.what(), HasSubstr("node 42"));
    }
    // The bracket closed, nothing was stored: the next request runs it again.
    EXPECT_THAT(log.Take(), ElementsAre(Notice{42, kComputing}, Notice{42, kNotComputing}));
    EXPECT_EQ(doc.Ready(42), nullptr);
    EXPECT_THROW(doc.GetAllValues(42), std::logic_error);
    EXPECT_EQ(faulty->invocations(), 2);
  }
}

TEST(FacadeFaults, DefinitionsThatAreNotStringsAreSkipped) {
  Depman doc;
  auto defs = std::make_shared<depman::List>();
  defs->Append(nullptr);
  defs->Append(Text(L"x"));
  defs->Append(Number(1));
  auto odd = std::make_shared<TestAction>(
      defs,
      [](Environment&) {
        return Values({{L"x", Number(2)}});
      },
      L"odd");
  const int32_t hx = doc.AddAfter(0, odd, 0);
  const int32_t hy = doc.AddAfter(hx, TenTimesX(), 0);
  EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 20);

  doc.Update(hx, Constant(L"x", 3), 0);  // withdraws the odd list
  EXPECT_EQ(odd->releases(), 1);
  EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 30);
  doc.Remove(hx);
  EXPECT_EQ(doc.IsBoundAt(hy, L"x"), 0);
}

// ---------------------------------------------------------------------------
// Calls back into the document from host code

TEST(FacadeReentrancy, EditFromInsideAnActionThrowsAndLeavesTheDocumentUsable) {
  struct Case {
    const char* name;
    std::function<void(Depman&)> edit;
  };
  const Case cases[] = {
      {"AddAfter", [](Depman& doc) { doc.AddAfter(1, Constant(L"n", 0), 0); }},
      {"AddAfter with handle", [](Depman& doc) { doc.AddAfter(1, Constant(L"n", 0), 9, 0); }},
      {"AddBefore", [](Depman& doc) { doc.AddBefore(1, Constant(L"n", 0), 0); }},
      {"Update", [](Depman& doc) { doc.Update(1, Constant(L"x", 5), 0); }},
      {"Remove", [](Depman& doc) { doc.Remove(1); }},
      {"ClearChain", [](Depman& doc) { doc.ClearChain(1, 0); }},
      {"Unload", [](Depman& doc) { doc.Unload(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Depman doc;
    NotifyLog log;
    doc.RegisterNotify(log.Target());
    const int32_t hx = doc.AddAfter(0, Constant(L"x", 1), 0);
    const int32_t hy = doc.AddAfter(hx, Meddler([&doc, &c] { c.edit(doc); }), 0);
    log.Take();

    EXPECT_THROW(doc.GetAllValues(hy), std::logic_error);
    EXPECT_THAT(log.Take(), ElementsAre(Notice{hx, kComputing}, Notice{hx, kNotComputing},
                                        Notice{hy, kComputing}, Notice{hy, kNotComputing}));
    EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(hx, hy));
    doc.Update(hy, TenTimesX(), 0);
    EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 10);
  }
}

TEST(FacadeReentrancy, AskingForTheValueOfTheNodeBeingComputedThrows) {
  Depman doc;
  int32_t hy = 0;
  hy = doc.AddAfter(0, Meddler([&doc, &hy] { doc.GetValue(hy, L"y"); }), 0);
  EXPECT_THROW(doc.GetAllValues(hy), std::logic_error);
  doc.Update(hy, Constant(L"y", 2), 0);
  EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 2);
}

TEST(FacadeReentrancy, EditFromAnInvalidationNoticeThrowsAfterTheEditCompletes) {
  Depman doc;
  const int32_t hx = doc.AddAfter(0, Constant(L"x", 1), 0);
  const int32_t hy = doc.AddAfter(hx, TenTimesX(), 0);
  doc.GetAllValues(hy);
  doc.RegisterNotify(std::make_shared<depman::Notify>([&doc, hx](int32_t, Status s) {
    if (s == kInvalid) doc.Remove(hx);
  }));

  EXPECT_THROW(doc.Update(hx, Constant(L"x", 2), 0), std::logic_error);
  doc.RegisterNotify(depman::NotifyRef{});
  EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(hx, hy));
  EXPECT_EQ(AsNumber(doc.GetValue(hy, L"y")), 20);  // the update did happen
}

TEST(FacadeReentrancy, EditFromAComputingNoticeThrowsBeforeTheActionRuns) {
  Depman doc;
  auto x = Constant(L"x", 1);
  const int32_t hx = doc.AddAfter(0, x, 0);
  doc.RegisterNotify(std::make_shared<depman::Notify>([&doc](int32_t h, Status s) {
    if (s == kComputing) doc.AddAfter(h, Constant(L"n", 0), 0);
  }));

  EXPECT_THROW(doc.GetAllValues(hx), std::logic_error);
  EXPECT_EQ(x->invocations(), 0);
  doc.RegisterNotify(depman::NotifyRef{});
  EXPECT_THAT(HandleValues(doc.GetHandles()), ElementsAre(hx));
  EXPECT_EQ(AsNumber(doc.GetValue(hx, L"x")), 1);
}

}  // namespace
}  // namespace depman_test

namespace depman_test {
namespace {

// A host that asks for a later node's value while an earlier one is being
// computed: the sweep that was computing goes on with the nodes the inner
// request has not computed, and computes none of them twice.
TEST(FacadeReentrancy, AQueryFromAComputingNoticeLeavesTheSweepWhole) {
  Depman doc;
  std::vector<TestActionRef> actions;
  std::vector<int32_t> handles;
  for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) {
    actions.push_back(Constant(name, 1));
    handles.push_back(doc.AddAfter(handles.empty() ? 0 : handles.back(), actions.back(), 0));
  }
  bool asked = false;
  doc.RegisterNotify(std::make_shared<depman::Notify>([&](int32_t h, Status s) {
    if (s != kComputing || h != handles[0] || asked) return;
    asked = true;
    EXPECT_EQ(AsNumber(doc.GetValue(handles[2], L"c")), 1);
  }));

  EXPECT_EQ(AsNumber(doc.GetValue(handles[3], L"d")), 1);
  EXPECT_TRUE(asked);
  for (std::size_t i = 1; i < actions.size(); ++i) EXPECT_EQ(actions[i]->invocations(), 1) << i;
}

}  // namespace
}  // namespace depman_test

namespace depman_test {
namespace {

// A target that replaces itself from inside a notice: the running target
// stays whole until it returns, and later notices go to the new one.
TEST(FacadeNotify, ATargetMayReplaceItselfFromInsideANotice) {
  Depman doc;
  const int32_t hx = doc.AddAfter(0, Constant(L"x", 1), 0);
  doc.AddAfter(hx, TenTimesX(), 0);
  std::vector<std::string> seen;
  auto second =
      std::make_shared<depman::Notify>([&seen](int32_t, Status) { seen.push_back("second"); });
  auto label = std::make_shared<std::string>("first");
  doc.RegisterNotify(
      std::make_shared<depman::Notify>([&doc, &seen, second, label](int32_t, Status) {
        doc.RegisterNotify(second);
        seen.push_back(*label);  // the captures of the running target are still there
      }));
  label.reset();

  doc.GetAllValues(2);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), "first");
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "first"), 1);
  EXPECT_EQ(seen.back(), "second");
}

}  // namespace
}  // namespace depman_test
