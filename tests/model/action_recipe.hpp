// What a test action does, as plain data: the names it defines, and for each
// link of its chain the names it looks up and the names it returns. Both the
// host action that the library runs (TestAction) and the reference model
// compute a link's values from this description with the functions below, so
// the two agree exactly when they see the same inputs.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace depman::model {

using Name = std::wstring;
// A looked-up value: the String's characters, or nothing when the name had
// no definer or the definer's dictionary had no entry for it.
using Input = std::optional<std::wstring>;
// A successful node result: name to the characters of its String value.
using Values = std::map<Name, std::wstring>;

// The few names every generated action draws from, so that definitions and
// lookups collide often.
const std::vector<Name>& NamePool();

struct Step {
  std::vector<Name> lookups;  // looked up in this order on every run
  std::vector<Name> outputs;  // the result's names when this is the last link
  // The next link's action is a new object on every run and carries this
  // run's inputs; otherwise the same object is handed out every time.
  bool fresh_next = false;
};

// How the last link breaks the contract, so that evaluation fails.
enum class Flaw { kNone, kReturnsNone, kNextNotAction };

struct ActionRecipe {
  uint64_t id = 0;
  std::vector<Name> defs;   // what GetDefs reports
  bool defs_none = false;   // GetDefs reports none instead
  bool defs_junk = false;   // GetDefs also lists a none and a non-String element
  std::vector<Step> steps;  // the head link first; never empty
  Flaw flaw = Flaw::kNone;

  // The names the library registers for the action.
  std::vector<Name> registered() const { return defs_none ? std::vector<Name>{} : defs; }
  bool has_next(std::size_t step) const { return step + 1 < steps.size(); }
};

using RecipeRef = std::shared_ptr<const ActionRecipe>;

// An action that defines `defs` and runs `steps`, one link each.
RecipeRef MakeRecipe(uint64_t id, std::vector<Name> defs, std::initializer_list<Step> steps);

// The running digest of link `step`: starts from the carried digest of the
// link before it (fresh successors) or from the action and link alone.
uint64_t StepSeed(const ActionRecipe& spec, std::size_t step, std::optional<uint64_t> carried);
uint64_t FoldInputs(uint64_t seed, const std::vector<Input>& inputs);
// The last link's values, from its digest.
Values OutputValues(const ActionRecipe& spec, uint64_t digest);

}  // namespace depman::model
