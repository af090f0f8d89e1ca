#include "test_action.hpp"

#include <string>

namespace depman::model {
namespace {

constexpr std::wstring_view kNext = L"%next";

ListRef MakeDefs(const ActionRecipe& spec) {
  if (spec.defs_none) return nullptr;
  auto defs = std::make_shared<List>();
  for (const Name& name : spec.defs) defs->Append(std::make_shared<String>(name));
  if (spec.defs_junk) {
    defs->Append(nullptr);
    defs->Append(std::make_shared<Box<int32_t>>(7));
  }
  return defs;
}

}  // namespace

TestAction::TestAction(Harness& harness, RecipeRef spec, int32_t node, std::size_t step,
                       std::optional<uint64_t> carried)
    : m_harness(harness),
      m_spec(std::move(spec)),
      m_node(node),
      m_step(step),
      m_carried(carried),
      m_defs(step == 0 ? MakeDefs(*m_spec) : nullptr) {
  if (m_carried) ++m_harness.fresh_alive();
}

TestAction::~TestAction() {
  if (m_carried) --m_harness.fresh_alive();
  const std::string who = "action " + std::to_string(m_spec->id) + "/" + std::to_string(m_step);
  if (links() != 0) {
    m_harness.fault(who + " destroyed while " + std::to_string(links()) + " links hold it");
    return;
  }
  // Every link is gone: an environment kept from one of them finds nothing.
  for (const Run& run : m_runs) {
    if (run.env->Lookup(NamePool().front()) != nullptr) {
      m_harness.fault(who + ": a kept environment still resolves after its link went");
    }
  }
}

std::optional<TestAction::Run> TestAction::take_run(const EnvironmentRef& env) {
  for (auto it = m_runs.begin(); it != m_runs.end(); ++it) {
    if (it->env == env) {
      Run run = std::move(*it);
      m_runs.erase(it);
      return run;
    }
  }
  return std::nullopt;
}

std::vector<Input> TestAction::look_up(const EnvironmentRef& env) {
  std::vector<Input> inputs;
  for (const Name& name : m_spec->steps[m_step].lookups) {
    DictionaryRef found = env->Lookup(name);
    ObjectRef value = found != nullptr ? found->Get(name) : nullptr;
    if (value == nullptr) {
      inputs.emplace_back();
    } else if (const auto* text = dynamic_cast<const String*>(value.get())) {
      inputs.emplace_back(text->Value());
    } else {
      m_harness.fault("a lookup found a value that no test action made");
      inputs.emplace_back();
    }
  }
  return inputs;
}

DictionaryRef TestAction::Invoke(const EnvironmentRef& env) {
  ++m_calls;
  // A run that does not complete leaves no record: its link has no result,
  // so running it again with the same inputs is right.
  std::optional<Run> previous = take_run(env);
  if (links() <= 0) m_harness.fault("Invoke of an action that no link holds");
  if (!m_harness.computing(m_node)) {
    m_harness.fault("node " + std::to_string(m_node) + " ran outside its compute bracket");
  }
  m_harness.ran(m_node);
  m_harness.plan().tick(Callback::kInvoke, this);

  std::vector<Input> inputs = look_up(env);
  const uint64_t digest = FoldInputs(StepSeed(*m_spec, m_step, m_carried), inputs);
  const uint64_t epoch = m_harness.epoch(m_node);
  if (previous && previous->epoch == epoch && previous->inputs == inputs) {
    m_harness.fault("node " + std::to_string(m_node) + " link " + std::to_string(m_step) +
                    " ran again although nothing it read had changed");
  }
  DictionaryRef result = m_spec->has_next(m_step) ? forward(digest) : finish(digest);
  if (result != nullptr && m_spec->flaw == Flaw::kNone) {
    m_runs.push_back(Run{env, std::move(inputs), epoch});
  }
  return result;
}

// A result that names the next link's action, plus entries that the library
// must drop because they are not the last link's.
DictionaryRef TestAction::forward(uint64_t digest) {
  std::shared_ptr<TestAction> next;
  if (m_spec->steps[m_step].fresh_next) {
    next = std::make_shared<TestAction>(m_harness, m_spec, m_node, m_step + 1, digest);
  } else {
    if (m_shared_next == nullptr) {
      m_shared_next = std::make_shared<TestAction>(m_harness, m_spec, m_node, m_step + 1);
    }
    next = m_shared_next;
  }
  next->note_install();  // the library makes a link for every successor it is given
  auto result = std::make_shared<Dictionary>();
  result->Set(kNext, next);
  for (const Name& name : m_spec->steps[m_step].outputs) {
    result->Set(name, std::make_shared<String>(L"not the last link"));
  }
  return result;
}

DictionaryRef TestAction::finish(uint64_t digest) {
  switch (m_spec->flaw) {
    case Flaw::kReturnsNone:
      return nullptr;
    case Flaw::kNextNotAction: {
      auto result = std::make_shared<Dictionary>();
      result->Set(kNext, std::make_shared<String>(L"not an action"));
      return result;
    }
    case Flaw::kNone:
      break;
  }
  auto result = std::make_shared<Dictionary>();
  for (const auto& [name, value] : OutputValues(*m_spec, digest)) {
    result->Set(name, std::make_shared<String>(value));
  }
  return result;
}

ListRef TestAction::GetDefs() {
  ++m_calls;
  if (links() <= 0) m_harness.fault("GetDefs of an action that no link holds");
  if (m_step != 0) m_harness.fault("GetDefs asked of a successor link's action");
  m_harness.plan().tick(Callback::kGetDefs, this);
  return m_defs;
}

void TestAction::Release() {
  ++m_calls;
  ++m_releases;
  if (m_releases > m_installs) {
    m_harness.fault("action " + std::to_string(m_spec->id) + "/" + std::to_string(m_step) +
                    " released more often than links held it");
  }
  m_harness.plan().tick(Callback::kRelease, this);
}

}  // namespace depman::model
