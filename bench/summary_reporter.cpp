#include "summary_reporter.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "alloc_counter.hpp"
#include "cases.hpp"
#include "memory_case.hpp"

namespace bench {
namespace {

constexpr const char* kMemoryKind = "memory";

// Splits "<workload>/<kind>/<size>/<engine>"; none for names of another shape.
std::optional<std::pair<CaseKey, std::string>> ParseName(const std::string& name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t slash; (slash = name.find('/', start)) != std::string::npos; start = slash + 1) {
    parts.push_back(name.substr(start, slash - start));
  }
  parts.push_back(name.substr(start));
  if (parts.size() != 4) return std::nullopt;
  return std::pair{CaseKey{parts[0], parts[1], parts[2]}, parts[3]};
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Duration(double us) {
  if (us >= 10000) return Format("%.1f ms", us / 1000);
  if (us >= 1000) return Format("%.2f ms", us / 1000);
  if (us >= 100) return Format("%.0f us", us);
  return Format("%.2f us", us);
}

void PrintColumns(std::ostream& out, const std::vector<std::vector<std::string>>& lines) {
  std::vector<std::size_t> widths;
  for (const auto& line : lines) {
    widths.resize(std::max(widths.size(), line.size()));
    for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
  }
  for (const auto& line : lines) {
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
      text += line[i] + std::string(widths[i] - line[i].size() + 2, ' ');
    }
    out << text.substr(0, text.find_last_not_of(' ') + 1) << '\n';
  }
}

double Counter(const benchmark::UserCounters& counters, const std::string& name) {
  auto it = counters.find(name);
  return it == counters.end() ? 0 : it->second.value;
}

// The "size <bytes>" counters: live allocations of each size per node, the
// largest share of bytes first.
void PrintSizes(std::ostream& out, const benchmark::UserCounters& counters) {
  const std::string prefix = kSizePrefix;
  std::vector<std::pair<double, double>> sizes;  // (size, allocations per node)
  for (const auto& [name, counter] : counters) {
    if (name.rfind(prefix, 0) == 0)
      sizes.emplace_back(std::stod(name.substr(prefix.size())), counter.value);
  }
  std::sort(sizes.begin(), sizes.end(),
            [](const auto& a, const auto& b) { return a.first * a.second > b.first * b.second; });
  std::vector<std::vector<std::string>> lines = {
      {"  allocation size", "per node", "bytes per node"}};
  for (const auto& [size, count] : sizes) {
    lines.push_back(
        {Format("  %.0f B", size), Format("%.2f", count), Format("%.0f B", size * count)});
  }
  out << "\nLargest shares by allocation size (" << kLargeAllocation
      << " B stands for >= " << kLargeAllocation << " B):\n";
  PrintColumns(out, lines);
}

}  // namespace

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) Collect(run);
}

void SummaryReporter::Collect(const Run& run) {
  const bool is_median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
  if (run.run_type == Run::RT_Aggregate && !is_median) return;
  auto parsed = ParseName(run.run_name.function_name);
  if (!parsed) return;
  auto& [key, engine] = *parsed;
  if (m_rows.find(key) == m_rows.end()) m_order.push_back(key);
  Measurement& m = m_rows[key].engines[engine];
  if (m.is_median && !is_median) return;  // the median of repetitions wins
  const double seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
  m = {seconds * 1e6, run.counters, run.error_occurred ? run.error_message : "", is_median};
}

void SummaryReporter::Finalize() {
  ConsoleReporter::Finalize();
  PrintTable(GetOutputStream());
  PrintMemory(GetOutputStream());
}

std::vector<std::string> SummaryReporter::TableLine(const CaseKey& key, const Row& row) const {
  const auto find = [&row](const char* engine) -> const Measurement* {
    auto it = row.engines.find(engine);
    return it == row.engines.end() ? nullptr : &it->second;
  };
  const Measurement* depman = find("depman");
  const Measurement* baseline = find("baseline");
  std::vector<std::string> line = {key.workload, key.kind, key.size};
  const auto time = [](const Measurement* m) {
    if (m == nullptr) return std::string("-");
    return m->error.empty() ? Duration(m->cpu_us) : "FAILED";
  };
  line.push_back(time(depman));
  line.push_back(time(baseline));
  const bool both =
      depman != nullptr && baseline != nullptr && depman->error.empty() && baseline->error.empty();
  line.push_back(both ? Format("%.2f", depman->cpu_us / baseline->cpu_us) : "-");
  const bool update = key.kind == "update" && depman != nullptr;
  line.push_back(update ? Format("%.1f", Counter(depman->counters, kActionsPerUpdate)) : "");
  if (depman != nullptr && !depman->error.empty()) {
    line.push_back("FAILED: " + depman->error);
  } else if (depman != nullptr) {
    const auto depman_time = [this](const CaseKey& other) -> std::optional<double> {
      auto it = m_rows.find(other);
      if (it == m_rows.end()) return std::nullopt;
      auto engine = it->second.engines.find("depman");
      if (engine == it->second.engines.end() || !engine->second.error.empty()) return std::nullopt;
      return engine->second.cpu_us;
    };
    const std::optional<double> base_us =
        both ? std::optional(baseline->cpu_us) : std::optional<double>();
    line.push_back(JudgeTimes(key, depman->cpu_us, base_us, depman_time));
  }
  return line;
}

void SummaryReporter::PrintTable(std::ostream& out) const {
  std::vector<std::vector<std::string>> lines = {
      {"workload", "case", "size", "depman", "baseline", "ratio", "actions/update", "target"}};
  for (const CaseKey& key : m_order) {
    if (key.kind != kMemoryKind) lines.push_back(TableLine(key, m_rows.at(key)));
  }
  if (lines.size() == 1) return;
  out << "\nSummary (CPU time per operation; ratio = depman / baseline;"
         " actions/update = actions depman invoked per update)\n\n";
  PrintColumns(out, lines);
}

void SummaryReporter::PrintMemory(std::ostream& out) const {
  for (const CaseKey& key : m_order) {
    if (key.kind != kMemoryKind) continue;
    for (const auto& [engine, m] : m_rows.at(key).engines) {
      out << "\nMemory: " << key.workload << ' ' << key.size << ", " << engine
          << " (live heap after adding every cell and evaluating the last, per node;\n"
             "requested bytes: malloc adds its own 8-16 B to every allocation)\n\n";
      if (!m.error.empty()) {
        out << "  FAILED: " << m.error << '\n';
        continue;
      }
      const double total = Counter(m.counters, kTotalBytes);
      const double host = Counter(m.counters, kHostActions) + Counter(m.counters, kHostResults);
      std::vector<std::vector<std::string>> lines = {
          {"total", Format("%.0f B", total),
           total <= kMaxBytesPerNode ? "target <=800 B: met" : "target <=800 B: MISSED"},
          {"  host actions + GetDefs lists", Format("%.0f B", Counter(m.counters, kHostActions))},
          {"  added by AddAfter", Format("%.0f B", Counter(m.counters, kDocument))},
          {"  added by the first evaluation", Format("%.0f B", Counter(m.counters, kEvaluation))},
          {"    of which host result dictionary + value",
           Format("%.0f B", Counter(m.counters, kHostResults))},
          {"  depman's own structures (total less the host's)", Format("%.0f B", total - host)},
          {"live allocations", Format("%.1f", Counter(m.counters, kAllocations))},
      };
      PrintColumns(out, lines);
      PrintSizes(out, m.counters);
    }
  }
}

}  // namespace bench
