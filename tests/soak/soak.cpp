// Runs the randomized model check (tests/model) until a time or operation
// budget is spent, one seed after another, and prints the seed of the first
// failing run so that it can be replayed with --seed S --runs 1.
//
//   depman_soak [--seconds N] [--ops N] [--seed S] [--runs N] [--steps N] [--trace 1]
//
// --trace 1 prints every operation as it starts (for a replayed seed).
// Without --seed the first seed is random; each further run takes the next.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <string_view>

#include "run.hpp"

namespace {

constexpr double kReportEverySeconds = 60;

struct Budget {
  double seconds = 0;  // 0: no time limit
  uint64_t ops = 0;    // 0: no operation limit
  uint64_t runs = 0;   // 0: no run limit
  uint64_t steps = 20000;
  bool trace = false;
  uint64_t seed = std::random_device{}() | (uint64_t{std::random_device{}()} << 32);
};

bool Parse(int argc, char** argv, Budget& budget) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view flag = argv[i];
    const char* value = argv[i + 1];
    if (flag == "--seconds") {
      budget.seconds = std::strtod(value, nullptr);
    } else if (flag == "--ops") {
      budget.ops = std::strtoull(value, nullptr, 10);
    } else if (flag == "--seed") {
      budget.seed = std::strtoull(value, nullptr, 10);
    } else if (flag == "--runs") {
      budget.runs = std::strtoull(value, nullptr, 10);
    } else if (flag == "--trace") {
      budget.trace = std::string_view(value) != "0";
    } else if (flag == "--steps") {
      budget.steps = std::strtoull(value, nullptr, 10);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && (budget.seconds > 0 || budget.ops > 0 || budget.runs > 0);
}

}  // namespace

int main(int argc, char** argv) {
  Budget budget;
  if (!Parse(argc, argv, budget)) {
    std::cerr << "usage: depman_soak [--seconds N] [--ops N] [--runs N] [--seed S] [--steps N]"
                 " [--trace 1]\n"
                 "  (at least one of --seconds, --ops, --runs)\n";
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  std::cout << "first seed " << budget.seed << ", " << budget.steps << " steps per run"
            << std::endl;
  uint64_t ops = 0;
  uint64_t runs = 0;
  double last_report = 0;
  for (uint64_t seed = budget.seed;; ++seed) {
    if (budget.runs > 0 && runs >= budget.runs) break;
    if (budget.ops > 0 && ops >= budget.ops) break;
    if (budget.seconds > 0 && elapsed() >= budget.seconds) break;
    const depman::model::RunReport report =
        depman::model::RandomRun(seed, budget.steps, budget.trace ? &std::cout : nullptr);
    ops += report.operations;
    ++runs;
    if (!report.faults.empty()) {
      std::cout << "FAILED: seed " << seed << "\n";
      for (const std::string& fault : report.faults) std::cout << "  " << fault << "\n";
      std::cout << "replay: depman_soak --seed " << seed << " --runs 1 --steps " << budget.steps
                << std::endl;
      return 1;
    }
    if (elapsed() - last_report >= kReportEverySeconds) {
      last_report = elapsed();
      std::cout << "  " << runs << " runs, " << ops << " operations, " << last_report << " s"
                << std::endl;
    }
  }
  std::cout << "ok: " << runs << " runs, " << ops << " operations, seeds " << budget.seed << ".."
            << budget.seed + runs - 1 << ", " << elapsed() << " s" << std::endl;
  return 0;
}
