#include "targets.hpp"

#include <vector>

namespace bench {
namespace {

struct Target {
  CaseKey row;
  double max_baseline_ratio = 0;  // 0: no bound
  double max_us = 0;              // 0: no bound
  std::optional<CaseKey> relative_to{};
  double max_relative = 0;
  // A bound that the case checks itself, failing when it does not hold.
  std::string checked_by_case{};
};

const std::vector<Target>& Targets() {
  static const std::vector<Target> targets = {
      {.row = {"W1_chain", "update", "N=10000"}, .max_baseline_ratio = 4, .max_us = 2000},
      {.row = {"W2_fan-out", "update", "N=10000"}, .max_baseline_ratio = 4, .max_us = 2000},
      {.row = {"W4_ladder", "update", "N=10000"}, .max_baseline_ratio = 4, .max_us = 2000},
      {.row = {"W1_chain", "build", "N=100000"}, .max_baseline_ratio = 4, .max_us = 100000},
      {.row = {"W5_sparse-edit", "update", "G=10000"},
       .max_us = 5,
       .relative_to = CaseKey{"W5_sparse-edit", "update", "G=1000"},
       .max_relative = 1.3},
      {.row = {"W6_early-cutoff", "update", "N=1000"}, .checked_by_case = "no d_i reruns"},
  };

  return targets;
}

std::string Number(double value) {
  std::string text = std::to_string(value);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

// Each bound as text, with whether it holds; `met` turns false when one does not.
std::vector<std::string> Bounds(const Target& t, double depman_us,
                                std::optional<double> baseline_us, const DepmanTime& depman_time,
                                bool& met) {
  std::vector<std::string> bounds;
  const auto check = [&](std::string text, std::optional<bool> holds) {
    if (!holds) text += " (not run)";
    met = met && holds.value_or(false);
    bounds.push_back(std::move(text));
  };
  if (t.max_baseline_ratio > 0) {
    check("<=" + Number(t.max_baseline_ratio) + "x base",
          baseline_us ? std::optional(depman_us <= t.max_baseline_ratio * *baseline_us)
                      : std::nullopt);
  }
  if (t.max_us > 0) {
    check("<=" + (t.max_us >= 1000 ? Number(t.max_us / 1000) + "ms" : Number(t.max_us) + "us"),
          depman_us <= t.max_us);
  }
  if (t.relative_to) {
    const std::optional<double> other = depman_time(*t.relative_to);
    check("<=" + Number(t.max_relative) + "x " + t.relative_to->size,
          other ? std::optional(depman_us <= t.max_relative * *other) : std::nullopt);
  }
  if (!t.checked_by_case.empty()) check(t.checked_by_case, true);  // judged only when it passed
  return bounds;
}

}  // namespace

std::string JudgeTimes(const CaseKey& row, double depman_us, std::optional<double> baseline_us,
                       const DepmanTime& depman_time) {
  for (const Target& t : Targets()) {
    if (t.row != row) continue;
    bool met = true;
    std::string text;
    for (const std::string& bound : Bounds(t, depman_us, baseline_us, depman_time, met)) {
      text += (text.empty() ? "" : ", ") + bound;
    }
    return text + (met ? ": met" : ": MISSED");
  }
  return "";
}

}  // namespace bench
