// One realistic document taken through a series of edits. After each edit
// the test checks the values, exactly which actions ran again and the
// notifications the host received, against figures worked out by hand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <depman/depman.hpp>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "test_actions.hpp"

namespace depman_test {
namespace {

using depman::Depman;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

// The handles the document's nodes receive, in document order.
enum Node : int32_t {
  kPrincipal = 1,  // principal = 1000
  kRate,           // rate = 5 (percent)
  kYears,          // years = 2
  kInterest,       // interest = principal * rate / 100 * years
  kTotal,          // total = principal + interest
  kCurrency,       // currency = "EUR" (a string)
  kLabel,          // label = currency + " loan"
  kFee,            // fee = 20, lazy
  kDue,            // due = total + fee
  kRate10,         // rate = 10: later nodes see this rate
  kLate,           // late = principal * rate / 100
  kSchedule,       // a three-link chain computing installment
  kReport,         // report = due + late, lazy, read by nobody
  kNote,           // a ConstAction holding "draft"
  kCheck,          // check = installment * years
  kRatePlusOne,    // rate = rate + 1: reads the rate before it, defines its own
  kPenalty,        // penalty = principal * rate / 100
  kSummary,        // summary = due + late + penalty
  kBanner,         // banner = label + "!"
  kAudit,          // audit = summary - check, lazy
};

// A number cell "name = formula" whose label in the run lists is `label`.
TestActionRef Cell(std::wstring label, std::wstring name,
                   std::function<double(Environment&)> formula) {
  ListRef defs = depman::List::Names({name});
  return std::make_shared<TestAction>(
      defs,
      [name, formula = std::move(formula)](Environment& env) {
        return Values({{name, Number(formula(env))}});
      },
      std::move(label));
}

class LoanDocument : public ::testing::Test {
 protected:
  LoanDocument() {
    doc_.RegisterNotify(log_.Target());
    Append(Constant(L"principal", 1000));
    Append(Constant(L"rate", 5));
    Append(Constant(L"years", 2));
    Append(NumberCell(L"interest", [](Environment& env) {
      return ReadNumber(env, L"principal") * ReadNumber(env, L"rate") / 100 *
             ReadNumber(env, L"years");
    }));
    Append(NumberCell(L"total", [](Environment& env) {
      return ReadNumber(env, L"principal") + ReadNumber(env, L"interest");
    }));
    Append(TextCell(L"currency", [](Environment&) { return L"EUR"; }));
    Append(
        TextCell(L"label", [](Environment& env) { return ReadText(env, L"currency") + L" loan"; }));
    Append(Constant(L"fee", 20), 1);
    Append(NumberCell(L"due", [](Environment& env) {
      return ReadNumber(env, L"total") + ReadNumber(env, L"fee");
    }));
    Append(Cell(L"rate=10", L"rate", [](Environment&) { return 10; }));
    Append(NumberCell(L"late", [](Environment& env) {
      return ReadNumber(env, L"principal") * ReadNumber(env, L"rate") / 100;
    }));
    Append(Schedule());
    Append(NumberCell(
               L"report",
               [](Environment& env) { return ReadNumber(env, L"due") + ReadNumber(env, L"late"); }),
           1);
    doc_.AddAfter(doc_.GetLastHandle(), std::make_shared<depman::ConstAction>(Text(L"draft")), 0);
    Append(NumberCell(L"check", [](Environment& env) {
      return ReadNumber(env, L"installment") * ReadNumber(env, L"years");
    }));
    Append(Cell(L"rate+1", L"rate", [](Environment& env) { return ReadNumber(env, L"rate") + 1; }));
    Append(NumberCell(L"penalty", [](Environment& env) {
      return ReadNumber(env, L"principal") * ReadNumber(env, L"rate") / 100;
    }));
    Append(NumberCell(L"summary", [](Environment& env) {
      return ReadNumber(env, L"due") + ReadNumber(env, L"late") + ReadNumber(env, L"penalty");
    }));
    Append(TextCell(L"banner", [](Environment& env) { return ReadText(env, L"label") + L"!"; }));
    Append(NumberCell(L"audit",
                      [](Environment& env) {
                        return ReadNumber(env, L"summary") - ReadNumber(env, L"check");
                      }),
           1);
  }

  static std::wstring ReadText(Environment& env, std::wstring_view name) {
    return AsText(Read(env, name)).value_or(L"?");
  }

  // The installment in three steps: link 0 checks the term, link 1 the
  // principal, link 2 computes principal * (100 + rate) / 100 / years.
  TestActionRef Schedule() {
    auto compute = std::make_shared<TestAction>(
        nullptr,
        [](Environment& env) {
          return Values({{L"installment",
                          Number(ReadNumber(env, L"principal") * (100 + ReadNumber(env, L"rate")) /
                                 100 / ReadNumber(env, L"years"))}});
        },
        L"schedule/2");
    auto check_principal = std::make_shared<TestAction>(
        nullptr,
        [compute](Environment& env) {
          if (ReadNumber(env, L"principal") > 0) return Values({{L"%next", compute}});
          return Values({{L"installment", Number(0)}});
        },
        L"schedule/1");
    auto check_term = std::make_shared<TestAction>(
        depman::List::Names({L"installment"}),
        [check_principal](Environment& env) {
          if (ReadNumber(env, L"years") > 0) return Values({{L"%next", check_principal}});
          return Values({{L"installment", Number(0)}});
        },
        L"schedule/0");
    tracked_.push_back({compute});
    tracked_.push_back({check_principal});
    return check_term;
  }

  // Adds `action` as the last node and follows its counters.
  void Append(TestActionRef action, int32_t lazy = 0) {
    Track(action);
    doc_.AddAfter(doc_.GetLastHandle(), action, lazy);
  }

  TestActionRef Track(TestActionRef action) {
    tracked_.push_back({action});
    return action;
  }

  // The text of every followed action that ran since the last call, once per run.
  std::vector<std::wstring> TakeRuns() { return TakeNew(&TestAction::invocations, &Seen::runs); }
  // The text of every followed action released since the last call, once per release.
  std::vector<std::wstring> TakeReleases() {
    return TakeNew(&TestAction::releases, &Seen::releases);
  }

  // The handles that started computing, sorted; every one of them must have
  // finished too.
  static std::vector<int32_t> Computed(const std::vector<Notice>& notices) {
    std::vector<int32_t> started = HandlesWith(notices, Status::NODE_COMPUTING);
    std::vector<int32_t> finished = HandlesWith(notices, Status::NODE_NOT_COMPUTING);
    std::sort(started.begin(), started.end());
    std::sort(finished.begin(), finished.end());
    EXPECT_EQ(started, finished);
    return started;
  }

  // The number under `name` in node `h`'s ready result; none when the node
  // holds no ready result. Computes nothing.
  std::optional<double> ReadyNumber(int32_t h, const wchar_t* name) {
    DictionaryRef values = doc_.Ready(h);
    return values != nullptr ? AsNumber(values->Get(name)) : std::nullopt;
  }
  std::optional<std::wstring> ReadyText(int32_t h, const wchar_t* name) {
    DictionaryRef values = doc_.Ready(h);
    return values != nullptr ? AsText(values->Get(name)) : std::nullopt;
  }
  // The rate that node `h` sees, its own included; computes nothing.
  std::optional<double> RateSeenAt(int32_t h) {
    DictionaryRef values = doc_.GetValueAt(h, L"rate");
    return values != nullptr ? AsNumber(values->Get(L"rate")) : std::nullopt;
  }

  struct Expected {
    int32_t node;
    const wchar_t* name;
    double value;
  };
  void ExpectNumbers(std::initializer_list<Expected> expected) {
    for (const Expected& e : expected) {
      EXPECT_EQ(ReadyNumber(e.node, e.name), e.value) << "node " << e.node;
    }
  }

  Depman doc_;
  NotifyLog log_;

 private:
  struct Seen {
    TestActionRef action;
    int runs = 0;
    int releases = 0;
  };

  std::vector<std::wstring> TakeNew(int (TestAction::*count)() const, int Seen::*seen) {
    std::vector<std::wstring> texts;
    for (Seen& s : tracked_) {
      for (const int now = (*s.action.*count)(); s.*seen < now; ++(s.*seen)) {
        texts.push_back(s.action->ToString());
      }
    }
    return texts;
  }

  std::vector<Seen> tracked_;
};

TEST_F(LoanDocument, EditsRecomputeExactlyWhatTheyReach) {
  {
    SCOPED_TRACE("first computation");
    doc_.GetAllValues(kAudit);
    EXPECT_THAT(TakeRuns(),
                UnorderedElementsAre(L"principal", L"rate", L"years", L"interest", L"total",
                                     L"currency", L"label", L"fee", L"due", L"rate=10", L"late",
                                     L"schedule/0", L"schedule/1", L"schedule/2", L"check",
                                     L"rate+1", L"penalty", L"summary", L"banner", L"audit"));
    // In document order; the lazy fee is computed inside its reader, due.
    const std::vector<Notice> notices = log_.Take();
    EXPECT_THAT(HandlesWith(notices, Status::NODE_COMPUTING),
                ElementsAre(1, 2, 3, 4, 5, 6, 7, 9, 8, 10, 11, 12, 14, 15, 16, 17, 18, 19, 20));
    EXPECT_THAT(HandlesWith(notices, Status::NODE_INVALID), IsEmpty());
    ExpectNumbers({{kInterest, L"interest", 100},
                   {kTotal, L"total", 1100},
                   {kFee, L"fee", 20},
                   {kDue, L"due", 1120},
                   {kLate, L"late", 100},
                   {kSchedule, L"installment", 550},
                   {kCheck, L"check", 1100},
                   {kRatePlusOne, L"rate", 11},
                   {kPenalty, L"penalty", 110},
                   {kSummary, L"summary", 1330},
                   {kAudit, L"audit", 230}});
    EXPECT_EQ(ReadyText(kBanner, L"banner"), L"EUR loan!");
    EXPECT_EQ(doc_.Ready(kReport), nullptr);  // lazy and read by nobody
    // Earlier readers see the original rate, later ones each redefinition.
    EXPECT_EQ(RateSeenAt(kInterest), 5);
    EXPECT_EQ(RateSeenAt(kLate), 10);
    EXPECT_EQ(RateSeenAt(kPenalty), 11);
  }
  {
    SCOPED_TRACE("Update principal to 2000");
    auto principal =
        Track(Cell(L"principal=2000", L"principal", [](Environment&) { return 2000; }));
    doc_.Update(kPrincipal, principal, 0);
    // Once for the withdrawn definition, once for the new one; each time in
    // document order. report never ran, so it read nothing and is not reached.
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_INVALID),
                ElementsAre(4, 5, 9, 11, 12, 15, 17, 18, 20, 4, 5, 9, 11, 12, 15, 17, 18, 20));
    doc_.GetAllValues(kAudit);
    // Of the schedule only link 1, which read principal, runs again; link 2
    // is rebuilt behind it.
    EXPECT_THAT(TakeRuns(), UnorderedElementsAre(L"principal=2000", L"interest", L"total", L"due",
                                                 L"late", L"schedule/1", L"schedule/2", L"check",
                                                 L"penalty", L"summary", L"audit"));
    EXPECT_THAT(TakeReleases(), UnorderedElementsAre(L"principal", L"schedule/2"));
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_COMPUTING),
                ElementsAre(1, 4, 5, 9, 11, 12, 15, 17, 18, 20));
    ExpectNumbers({{kPrincipal, L"principal", 2000},
                   {kInterest, L"interest", 200},
                   {kTotal, L"total", 2200},
                   {kDue, L"due", 2220},
                   {kLate, L"late", 200},
                   {kSchedule, L"installment", 1100},
                   {kCheck, L"check", 2200},
                   {kPenalty, L"penalty", 220},
                   {kSummary, L"summary", 2640},
                   {kAudit, L"audit", 440}});
  }
  {
    SCOPED_TRACE("Update currency to an equal string");
    doc_.Update(kCurrency, Track(TextCell(L"currency", [](Environment&) { return L"EUR"; })), 0);
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_INVALID), ElementsAre(7, 19, 7, 19));
    doc_.GetAllValues(kAudit);
    // label and banner read strings with unchanged characters: kept.
    EXPECT_THAT(TakeRuns(), ElementsAre(L"currency"));
    EXPECT_THAT(TakeReleases(), ElementsAre(L"currency"));
    EXPECT_THAT(Computed(log_.Take()), ElementsAre(kCurrency));
    EXPECT_EQ(ReadyText(kBanner, L"banner"), L"EUR loan!");
  }
  {
    SCOPED_TRACE("Update currency to another string");
    doc_.Update(kCurrency, Track(TextCell(L"currency", [](Environment&) { return L"USD"; })), 0);
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_INVALID), ElementsAre(7, 19, 7, 19));
    doc_.GetAllValues(kAudit);
    EXPECT_THAT(TakeRuns(), UnorderedElementsAre(L"currency", L"label", L"banner"));
    EXPECT_THAT(TakeReleases(), ElementsAre(L"currency"));
    EXPECT_THAT(Computed(log_.Take()), ElementsAre(kCurrency, kLabel, kBanner));
    EXPECT_EQ(ReadyText(kLabel, L"label"), L"USD loan");
    EXPECT_EQ(ReadyText(kBanner, L"banner"), L"USD loan!");
  }
  constexpr int32_t kRate7 = 21;
  {
    SCOPED_TRACE("AddBefore interest: rate = 7");
    EXPECT_EQ(doc_.AddBefore(kInterest,
                             Track(Cell(L"rate=7", L"rate", [](Environment&) { return 7; })), 0),
              kRate7);
    // Only the readers up to the next definer of rate (rate=10) are reached,
    // and what depends on them.
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_INVALID), ElementsAre(4, 5, 9, 18, 20));
    doc_.GetAllValues(kAudit);
    EXPECT_THAT(TakeRuns(), UnorderedElementsAre(L"rate=7", L"interest", L"total", L"due",
                                                 L"summary", L"audit"));
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_COMPUTING),
                ElementsAre(kRate7, 4, 5, 9, 18, 20));
    ExpectNumbers({{kInterest, L"interest", 280},
                   {kTotal, L"total", 2280},
                   {kDue, L"due", 2300},
                   {kLate, L"late", 200},
                   {kPenalty, L"penalty", 220},
                   {kSummary, L"summary", 2720},
                   {kAudit, L"audit", 520}});
    EXPECT_EQ(RateSeenAt(kYears), 5);
    EXPECT_EQ(RateSeenAt(kInterest), 7);
    EXPECT_EQ(RateSeenAt(kLate), 10);
  }
  {
    SCOPED_TRACE("Remove rate = 10");
    doc_.Remove(kRate10);
    EXPECT_THAT(HandleValues(doc_.GetHandles()), ElementsAre(1, 2, 3, kRate7, 4, 5, 6, 7, 8, 9, 11,
                                                             12, 13, 14, 15, 16, 17, 18, 19, 20));
    // rate+1 reads rate, so the change passes through it to penalty.
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_INVALID),
                ElementsAre(11, 12, 15, 16, 17, 18, 20));
    EXPECT_THAT(TakeReleases(), ElementsAre(L"rate=10"));
    doc_.GetAllValues(kAudit);
    // Of the schedule only link 2 read rate.
    EXPECT_THAT(TakeRuns(), UnorderedElementsAre(L"late", L"schedule/2", L"check", L"rate+1",
                                                 L"penalty", L"summary", L"audit"));
    EXPECT_THAT(Computed(log_.Take()), ElementsAre(11, 12, 15, 16, 17, 18, 20));
    EXPECT_EQ(RateSeenAt(kLate), 7);
    ExpectNumbers({{kLate, L"late", 140},
                   {kSchedule, L"installment", 1070},
                   {kCheck, L"check", 2140},
                   {kRatePlusOne, L"rate", 8},
                   {kPenalty, L"penalty", 160},
                   {kSummary, L"summary", 2600},
                   {kAudit, L"audit", 460}});
  }
  {
    SCOPED_TRACE("ClearChain schedule from link 1");
    doc_.ClearChain(kSchedule, 1);
    EXPECT_THAT(TakeReleases(), ElementsAre(L"schedule/2"));
    // Its readers may hold values of the links dropped: they are invalidated
    // as after an edit, and run again since a number never counts as equal.
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_INVALID), ElementsAre(15, 20));
    doc_.GetAllValues(kAudit);
    EXPECT_THAT(TakeRuns(), UnorderedElementsAre(L"schedule/1", L"schedule/2", L"check", L"audit"));
    EXPECT_THAT(Computed(log_.Take()), ElementsAre(kSchedule, 15, 20));
    ExpectNumbers({{kSchedule, L"installment", 1070}, {kAudit, L"audit", 460}});
  }
  {
    SCOPED_TRACE("Update the lazy fee, then ask for the lazy report");
    doc_.Update(kFee, Track(Cell(L"fee=50", L"fee", [](Environment&) { return 50; })), 1);
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_INVALID), ElementsAre(9, 18, 20, 9, 18, 20));
    EXPECT_EQ(AsNumber(doc_.GetValue(kReport, L"report")), 2470);
    EXPECT_THAT(TakeRuns(), UnorderedElementsAre(L"fee=50", L"due", L"report"));
    EXPECT_THAT(Computed(log_.Take()), ElementsAre(kFee, kDue, kReport));
    ExpectNumbers({{kFee, L"fee", 50}, {kDue, L"due", 2330}});
    EXPECT_EQ(doc_.Ready(kSummary), nullptr);  // invalid, beyond what was asked for

    doc_.GetAllValues(kAudit);
    EXPECT_THAT(TakeRuns(), UnorderedElementsAre(L"summary", L"audit"));
    EXPECT_THAT(HandlesWith(log_.Take(), Status::NODE_COMPUTING), ElementsAre(kSummary, kAudit));
    ExpectNumbers({{kSummary, L"summary", 2630}, {kAudit, L"audit", 490}});
  }
  {
    SCOPED_TRACE("Unload");
    TakeReleases();
    doc_.Unload();
    // Every action still installed, each chain link's once; nothing notified.
    EXPECT_THAT(
        TakeReleases(),
        UnorderedElementsAre(L"principal=2000", L"rate", L"years", L"interest", L"total",
                             L"currency", L"label", L"fee=50", L"due", L"late", L"schedule/0",
                             L"schedule/1", L"schedule/2", L"report", L"check", L"rate+1",
                             L"penalty", L"summary", L"banner", L"audit", L"rate=7"));
    EXPECT_THAT(log_.Take(), IsEmpty());
  }
}

}  // namespace
}  // namespace depman_test
