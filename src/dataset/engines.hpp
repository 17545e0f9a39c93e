#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "child_process.hpp"
#include "dataset_plan.hpp"
#include "run_outcome.hpp"

namespace dadimero {

// The engines run the plan's toRun runs, each as one task of this program
// (`dadimero-dataset task PLAN INDEX`, INDEX counting toRun), and say how each
// ended. What a run left (its record in its folder) is the same whichever
// engine ran it; the engines differ only in where the tasks run.
struct EngineResult {
    std::vector<TaskEnd> ends;  // one per entry of toRun
    int interruptedBy = 0;      // INT or TERM when a signal stopped the engine
};

// Where an engine keeps its task logs and files for one start: a folder of its
// own in the output root's .dadimero/ folder, shared with the other machines.
struct EngineFiles {
    std::filesystem::path self;      // this program, run as the task
    std::filesystem::path planFile;  // the saved plan
    std::filesystem::path folder;    // for task logs
};

// This machine: `jobs` tasks at once, each a process group of its own that a
// stop by INT or TERM ends (TERM, then KILL after a grace period).
EngineResult runOnThisMachine(const DatasetPlan& plan, const EngineFiles& files, int jobs,
                              const SignalWatch& signals);

// Several machines over ssh through GNU parallel's --sshloginfile, `jobs` per
// machine (0: one per core). Every machine must see this program, the dataset
// and the output root at the same paths.
EngineResult runOverSsh(const DatasetPlan& plan, const EngineFiles& files,
                        const std::filesystem::path& sshLoginFile, int jobs,
                        const SignalWatch& signals);

}  // namespace dadimero
