// Documents whose evaluation recurses as deep as the document is long, run on
// a thread with a 1 MiB stack: depman must not overflow it.
#include <pthread.h>

#include <cstdint>
#include <cstdlib>
#include <depman/depman.hpp>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace depman {
namespace {

// Sanitizers make frames and time much larger; the depth that matters for
// them is "many stack segments", not 100,000 nodes. DEPMAN_DEEP_LENGTH
// overrides it (valgrind runs use a shorter document).
int DeepLength() {
  if (const char* length = std::getenv("DEPMAN_DEEP_LENGTH")) return std::atoi(length);
#if defined(__SANITIZE_ADDRESS__)
  return 10'000;
#else
  return 100'000;
#endif
}

constexpr std::size_t kSmallStack = 1 << 20;

// Runs `body` on a new thread whose stack is `stack_size` bytes; rethrows
// what it throws.
void RunOnThread(std::size_t stack_size, const std::function<void()>& body) {
  struct Job {
    const std::function<void()>* body;
    std::exception_ptr error;
  } job{&body, nullptr};
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, stack_size), 0);
  pthread_t thread;
  const auto start = [](void* p) -> void* {
    auto* j = static_cast<Job*>(p);
    try {
      (*j->body)();
    } catch (...) {
      j->error = std::current_exception();
    }
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, start, &job), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  if (job.error) std::rethrow_exception(job.error);
}

std::wstring Name(int i) { return L"x_" + std::to_wstring(i); }

// Node i defines x_i = x_{i-1} + 1 + base (x_{-1} reads as missing: 0).
class StepAction final : public Action {
 public:
  StepAction(int index, double base, std::vector<int>& runs)
      : m_index(index), m_base(base), m_defs(List::Names({Name(index)})), m_runs(runs) {}

  DictionaryRef Invoke(const EnvironmentRef& env) override {
    ++m_runs[static_cast<std::size_t>(m_index)];
    double value = m_base + 1;
    if (m_index > 0) {
      const std::wstring previous = Name(m_index - 1);
      if (DictionaryRef d = env->Lookup(previous)) {
        value += std::static_pointer_cast<Box<double>>(d->Get(previous))->Value();
      }
    }
    auto result = std::make_shared<Dictionary>(1);
    result->Set(Name(m_index), std::make_shared<Box<double>>(value));
    return result;
  }
  ListRef GetDefs() override { return m_defs; }
  void Release() override {}

 private:
  int m_index;
  double m_base;
  ListRef m_defs;
  std::vector<int>& m_runs;
};

// Counts the brackets opened and closed and the deepest nesting seen.
struct BracketCount {
  int64_t open = 0;
  int64_t computing = 0;
  int64_t not_computing = 0;

  NotifyRef AsNotify() {
    return std::make_shared<Notify>([this](int32_t, Status s) {
      if (s == Status::NODE_COMPUTING) ++computing, ++open;
      if (s == Status::NODE_NOT_COMPUTING) ++not_computing, --open;
    });
  }
};

class DeepDocument : public ::testing::Test {
 protected:
  DeepDocument() : m_runs(static_cast<std::size_t>(kLength), 0) {
    m_doc.RegisterNotify(m_brackets.AsNotify());
  }

  // Appends kLength step nodes; returns the last handle.
  int32_t Build(bool lazy) {
    int32_t last = 0;
    for (int i = 0; i < kLength; ++i) {
      last = m_doc.AddAfter(last, std::make_shared<StepAction>(i, 0.0, m_runs), lazy ? 1 : 0);
      m_handles.push_back(last);
    }
    return last;
  }

  double LastValue() {
    auto value = m_doc.GetValue(m_handles.back(), Name(kLength - 1));
    return std::static_pointer_cast<Box<double>>(value)->Value();
  }

  void ExpectEachRanOnce(int from) {
    for (int i = from; i < kLength; ++i) {
      ASSERT_EQ(m_runs[static_cast<std::size_t>(i)], 1) << "node " << i;
    }
  }

  void ResetRuns() { std::fill(m_runs.begin(), m_runs.end(), 0); }

  const int kLength = DeepLength();
  Depman m_doc;
  BracketCount m_brackets;
  std::vector<int> m_runs;
  std::vector<int32_t> m_handles;
};

TEST_F(DeepDocument, LazyNodesEvaluatedFromTheLast) {
  RunOnThread(kSmallStack, [&] {
    Build(/*lazy=*/true);
    EXPECT_EQ(LastValue(), kLength);
  });
  ExpectEachRanOnce(0);
  EXPECT_EQ(m_brackets.computing, kLength);
  EXPECT_EQ(m_brackets.not_computing, kLength);
}

TEST_F(DeepDocument, DependentsOfARemovedFirstNodeBehindTheFrontier) {
  RunOnThread(kSmallStack, [&] {
    Build(/*lazy=*/false);
    EXPECT_EQ(LastValue(), kLength);
    ResetRuns();
    m_doc.Remove(m_handles.front());
    EXPECT_EQ(LastValue(), kLength - 1);
  });
  ExpectEachRanOnce(1);
  EXPECT_EQ(m_brackets.open, 0);
}

TEST_F(DeepDocument, UpdateOfTheFirstNodeWithInvalidation) {
  RunOnThread(kSmallStack, [&] {
    Build(/*lazy=*/false);
    EXPECT_EQ(LastValue(), kLength);
    ResetRuns();
    m_doc.Update(m_handles.front(), std::make_shared<StepAction>(0, 10.0, m_runs), 0);
    EXPECT_EQ(LastValue(), kLength + 10);
  });
  ExpectEachRanOnce(0);
  EXPECT_EQ(m_brackets.open, 0);
}

// Each run names a follow-up under "%next" until `left` reaches zero.
class ContinuationAction final : public Action {
 public:
  ContinuationAction(int left, int& runs) : m_left(left), m_runs(runs) {}

  DictionaryRef Invoke(const EnvironmentRef&) override {
    ++m_runs;
    auto result = std::make_shared<Dictionary>(1);
    if (m_left > 0) {
      result->Set(L"%next", std::make_shared<ContinuationAction>(m_left - 1, m_runs));
    } else {
      result->Set(L"done", std::make_shared<Box<int32_t>>(1));
    }
    return result;
  }
  ListRef GetDefs() override { return nullptr; }
  void Release() override {}

 private:
  int m_left;
  int& m_runs;
};

TEST(DeepChain, ContinuationLinks) {
  const int kLinks = DeepLength();
  int runs = 0;
  BracketCount brackets;
  RunOnThread(kSmallStack, [&] {
    Depman doc;
    doc.RegisterNotify(brackets.AsNotify());
    const int32_t h = doc.AddAfter(0, std::make_shared<ContinuationAction>(kLinks, runs), 0);
    EXPECT_NE(doc.GetValue(h, L"done"), nullptr);
    doc.ClearChain(h, 0);  // tears down every link
    EXPECT_NE(doc.GetValue(h, L"done"), nullptr);
    doc.Unload();
  });
  EXPECT_EQ(runs, 2 * (kLinks + 1));
  EXPECT_EQ(brackets.computing, 2);
  EXPECT_EQ(brackets.not_computing, 2);
}

// A failure deep down, on a stack segment of its own, reaches the caller
// and leaves every bracket closed.
class FailingAction final : public Action {
 public:
  explicit FailingAction(ListRef defs) : m_defs(std::move(defs)) {}
  DictionaryRef Invoke(const EnvironmentRef&) override { throw std::runtime_error("deep failure"); }
  ListRef GetDefs() override { return m_defs; }
  void Release() override {}

 private:
  ListRef m_defs;
};

TEST_F(DeepDocument, FailureAtTheBottomReachesTheCaller) {
  RunOnThread(kSmallStack, [&] {
    Build(/*lazy=*/true);
    m_doc.Update(m_handles.front(), std::make_shared<FailingAction>(List::Names({Name(0)})), 1);
    EXPECT_THROW(m_doc.GetValue(m_handles.back(), Name(kLength - 1)), std::runtime_error);
    m_doc.Update(m_handles.front(), std::make_shared<StepAction>(0, 0.0, m_runs), 1);
    EXPECT_EQ(LastValue(), kLength);
  });
  EXPECT_EQ(m_brackets.open, 0);
}

}  // namespace
}  // namespace depman
