// Deep documents: evaluation that recurses once per node (a chain of lazy
// nodes read from its end, or invalidated nodes behind the evaluation
// frontier). Shows what evaluating on heap stack segments costs.
#pragma once

namespace bench {

void RegisterDeepCases();

}  // namespace bench
