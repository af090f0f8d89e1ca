// The targets the library must reach, judged from the measured summary.
#pragma once

#include <compare>
#include <functional>
#include <optional>
#include <string>

namespace bench {

// Names one row of the summary: a depman case and its baseline.
struct CaseKey {
  std::string workload;  // e.g. "W1_chain"
  std::string kind;      // "build" or "update"
  std::string size;      // e.g. "N=10000"
  auto operator<=>(const CaseKey&) const = default;
};

// The depman time of a row in microseconds, or none when it was not run.
using DepmanTime = std::function<std::optional<double>(const CaseKey&)>;

// The row's target and whether it was met, e.g. "<=4x base, <=2ms: MISSED";
// empty when the row has no target. Times are in microseconds.
std::string JudgeTimes(const CaseKey& row, double depman_us, std::optional<double> baseline_us,
                       const DepmanTime& depman_time);

// The largest number of bytes per node that a document may hold.
inline constexpr double kMaxBytesPerNode = 800;

}  // namespace bench
