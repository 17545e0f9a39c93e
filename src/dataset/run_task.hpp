#pragma once

#include <cstddef>

#include "dataset_plan.hpp"

namespace dadimero {

// One run of the plan, as every engine runs it (on this machine, over ssh or
// as a Slurm task), so that their records and masks are the same:
//  1. takes the run's folder for itself (a lock that the system drops when the
//     process ends), so that two starts of one run never write at once;
//  2. checks the run again: a complete run is left as it is (exit 0);
//  3. clears what an earlier run left, records the options and the input
//     fingerprint, runs DADI-MERO in the folder with its output in the log,
//     and records its exit status once it has ended.
// Returns the process's exit code: DADI-MERO's, or 1 when the task itself
// failed, after one line on standard error saying what happened (a folder
// that cannot be written, a status that cannot be recorded).
int runTask(const DatasetPlan& plan, size_t run);

// The -threads to add for the run under the rule, or 0 for none.
int addedThreads(const ThreadsRule& rule);

}  // namespace dadimero
