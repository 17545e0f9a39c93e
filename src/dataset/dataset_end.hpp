#pragma once

#include <vector>

#include "child_process.hpp"
#include "dataset_plan.hpp"
#include "run_outcome.hpp"

namespace dadimero {

// The end of every start, whichever engine ran it: judges every run of the
// plan from its record (`ends`, one per entry of toRun, says how the engine
// saw each task end), prints the summary, and, unless a signal stopped the
// start, scores the complete runs of sequences with ground truth (each
// setting into its own scores.txt and scores.json, a sweep also into
// sweep.txt, sweep.json, sweep.csv and sweep.png) and prints the scores.
// Returns the program's exit code: 0 when every run is complete and scored
// (sequences with no frames are no failure), 1 when a run failed, was cut
// short or could not be scored, or the scores could not be written, and
// 128 + the signal when one stopped the start (the previous scores stay).
int finishDataset(const DatasetPlan& plan, const std::vector<ExpectedRun>& expected,
                  const std::vector<TaskEnd>& ends, int interruptedBy, const SignalWatch& signals);

}  // namespace dadimero
