#include "action_recipe.hpp"

#include <cstdio>

namespace depman::model {
namespace {

// splitmix64 finaliser: a cheap, well-mixing step for the digests.
uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

uint64_t MixText(uint64_t h, const std::wstring& text) {
  for (wchar_t c : text) h = Mix(h ^ static_cast<uint64_t>(c));
  return Mix(h ^ text.size());
}

std::wstring Hex(uint64_t v) {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(v));
  return std::wstring(buffer, buffer + 16);
}

}  // namespace

const std::vector<Name>& NamePool() {
  static const std::vector<Name> pool = {L"a", L"b", L"c", L"d", L"e"};
  return pool;
}

uint64_t StepSeed(const ActionRecipe& spec, std::size_t step, std::optional<uint64_t> carried) {
  if (carried) return Mix(*carried ^ 0x5eedULL);
  return Mix(Mix(spec.id) + step);
}

uint64_t FoldInputs(uint64_t seed, const std::vector<Input>& inputs) {
  uint64_t h = seed;
  for (const Input& input : inputs) h = input ? MixText(Mix(h + 1), *input) : Mix(h + 2);
  return h;
}

Values OutputValues(const ActionRecipe& spec, uint64_t digest) {
  Values values;
  for (const Name& name : spec.steps.back().outputs) values[name] = Hex(MixText(digest, name));
  return values;
}

RecipeRef MakeRecipe(uint64_t id, std::vector<Name> defs, std::initializer_list<Step> steps) {
  auto spec = std::make_shared<ActionRecipe>();
  spec->id = id;
  spec->defs = std::move(defs);
  spec->steps = steps;
  return spec;
}

}  // namespace depman::model
