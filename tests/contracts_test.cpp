// The contracts between host and library: the enumerations, ConstAction,
// Notify and the FNotify adapter for host functions.
#include "contracts.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "depman/depman.hpp"

namespace depman {
namespace {

// Hosts see these numbers; they must never move.
static_assert(std::is_same_v<std::underlying_type_t<Status>, int32_t>);
static_assert(std::is_same_v<std::underlying_type_t<ResolveMode>, int32_t>);
static_assert(static_cast<int32_t>(Status::NODE_INVALID) == 0);
static_assert(static_cast<int32_t>(Status::NODE_COMPUTING) == 1);
static_assert(static_cast<int32_t>(Status::NODE_NOT_COMPUTING) == 2);
static_assert(static_cast<int32_t>(Status::NODE_READY) == 3);
static_assert(static_cast<int32_t>(Status::NODE_SYNC) == 4);
static_assert(static_cast<int32_t>(ResolveMode::AT) == 0);
static_assert(static_cast<int32_t>(ResolveMode::BEFORE) == 1);
static_assert(static_cast<int32_t>(ResolveMode::AT_OR_BEFORE) == 2);

// An environment that fails the test when it is consulted.
class UntouchableEnv final : public Environment {
 public:
  DictionaryRef Lookup(std::wstring_view) override {
    ADD_FAILURE() << "ConstAction looked a name up";
    return nullptr;
  }
};

TEST(ConstActionTest, NoneIsStoredUnderResult) {
  ConstAction action(nullptr);
  DictionaryRef d = action.Invoke(nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Count(), 1u);
  EXPECT_TRUE(d->Contains(L"%result"));
  EXPECT_EQ(d->Get(L"%result"), nullptr);
  EXPECT_EQ(d->Get(L"%next"), nullptr);
}

TEST(ConstActionTest, EveryInvokeReturnsTheSameDictionaryAndLooksNothingUp) {
  const ObjectRef value = std::make_shared<String>(L"v");
  ConstAction action(value);
  const EnvironmentRef env = std::make_shared<UntouchableEnv>();
  DictionaryRef first = action.Invoke(env);
  EXPECT_EQ(first->Get(L"%result"), value);
  EXPECT_EQ(action.Invoke(env), first);
  EXPECT_EQ(action.Invoke(nullptr), first);
  // Release does nothing: the action still answers, with the same dictionary.
  action.Release();
  EXPECT_EQ(action.Invoke(env), first);
  EXPECT_EQ(first->Count(), 1u);
}

TEST(ConstActionTest, DefinesAndReadsNoNames) {
  ConstAction action(std::make_shared<Box<int32_t>>(1));
  EXPECT_EQ(action.GetDefs(), nullptr);
  EXPECT_EQ(action.GetDeps(), nullptr);
}

TEST(NotifyTest, InvokeCallsTheTargetAtOnce) {
  std::vector<std::pair<int32_t, Status>> calls;
  Notify notify([&calls](int32_t h, Status s) { calls.emplace_back(h, s); });
  notify.Invoke(7, Status::NODE_INVALID);
  notify.Invoke(-1, Status::NODE_SYNC);
  EXPECT_EQ(calls, (std::vector<std::pair<int32_t, Status>>{{7, Status::NODE_INVALID},
                                                            {-1, Status::NODE_SYNC}}));
  Notify{nullptr}.Invoke(1, Status::NODE_READY);  // no target: nothing happens
}

struct Received {
  int32_t handle;
  Status status;
};

// A host function that unboxes what FNotify sends; any other type fails.
Engine::FunctionRef Recorder(std::vector<Received>& received) {
  return Engine::MakeFunction([&received](ObjectRef h, ObjectRef s) -> ObjectRef {
    auto handle = std::dynamic_pointer_cast<Box<int32_t>>(h);
    auto status = std::dynamic_pointer_cast<Box<Status>>(s);
    EXPECT_NE(handle, nullptr) << "the handle is not a Box<int32_t>";
    EXPECT_NE(status, nullptr) << "the status is not a Box<Status>";
    if (handle && status) received.push_back({handle->Value(), status->Value()});
    return std::make_shared<String>(L"ignored");
  });
}

TEST(FNotifyTest, DeliversTheHandleAndTheTypedStatus) {
  const Received cases[] = {
      {0, Status::NODE_INVALID},
      {1, Status::NODE_COMPUTING},
      {-5, Status::NODE_NOT_COMPUTING},
      {std::numeric_limits<int32_t>::max(), Status::NODE_READY},
      {std::numeric_limits<int32_t>::min(), Status::NODE_SYNC},
  };
  std::vector<Received> received;
  const FNotify adapter(Recorder(received));
  for (const Received& c : cases) adapter.Invoke(c.handle, c.status);
  ASSERT_EQ(received.size(), std::size(cases));
  for (std::size_t i = 0; i < received.size(); ++i) {
    EXPECT_EQ(received[i].handle, cases[i].handle);
    EXPECT_EQ(received[i].status, cases[i].status);
  }
}

TEST(FNotifyTest, AFailingFunctionReachesTheCaller) {
  const FNotify adapter(Engine::MakeFunction(
      [](ObjectRef, ObjectRef) -> ObjectRef { throw std::runtime_error("host"); }));
  EXPECT_THROW(adapter.Invoke(1, Status::NODE_INVALID), std::runtime_error);
}

TEST(FNotifyTest, AHostFunctionRegisteredWithADocumentReceivesItsBracket) {
  std::vector<Received> received;
  Depman document;
  document.RegisterNotify(Recorder(received));
  const int32_t h = document.AddAfter(0, std::make_shared<ConstAction>(nullptr), 0);
  document.GetAllValues(h);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].handle, h);
  EXPECT_EQ(received[0].status, Status::NODE_COMPUTING);
  EXPECT_EQ(received[1].handle, h);
  EXPECT_EQ(received[1].status, Status::NODE_NOT_COMPUTING);
}

}  // namespace
}  // namespace depman
