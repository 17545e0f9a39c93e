#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engines.hpp"
#include "output_lock.hpp"

namespace dadimero {

struct SlurmOptions {
    std::vector<std::string> sbatchArgs;  // the user's, passed to every submission
    int cpusPerTask = 1;                  // each task's -threads
    int throttle = 0;                     // at most this many tasks at once (%N); 0: no limit
    bool wait = false;                    // follow the jobs to their end
};

// Submits the plan's runs to Slurm from a login node of a cluster whose nodes
// share the file system: job arrays of the runs, each below the cluster's
// MaxArraySize, and one collecting job that starts when they have all ended
// (afterany), judges every run from its record, scores, writes the summaries
// and exits nonzero when anything failed. Without `wait`, prints the job ids
// and how to follow them and returns 0; with it, shows their progress and
// returns as the collecting job did. A stop by INT or TERM cancels the jobs.
// The output root's lock is released once the jobs are submitted: the
// collecting job takes it.
int runOnSlurm(const DatasetPlan& plan, const EngineFiles& files, const SlurmOptions& options,
               const SignalWatch& signals, OutputLock& lock);

// The collecting job: the task ends from the task logs in `folder` (a run cut
// short by a time limit or scancel leaves no status; the log says why), then
// the summary and scores. Writes its exit code to folder/collect.exit.
int collectSlurmRuns(const std::filesystem::path& folder, const SignalWatch& signals);

// Refuses (std::runtime_error naming the jobs) to start while jobs of an
// earlier submission to the same output root are still queued or running.
void refuseWhileSubmissionRuns(const std::filesystem::path& outputRoot, const SignalWatch& signals);

}  // namespace dadimero
