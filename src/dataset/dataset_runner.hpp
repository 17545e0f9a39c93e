#pragma once

#include "child_process.hpp"
#include "dataset_options.hpp"

namespace dadimero {

// `run` and `sweep`: finds the sequences, plans every (setting, sequence) run,
// skips the complete ones, has the engine run the others and ends with the
// summary and the scores. Returns the program's exit code; throws
// DatasetUsageError for what the command line got wrong and
// std::runtime_error for anything else that stops it before any run.
int runDataset(const DatasetOptions& options, const SignalWatch& signals);

}  // namespace dadimero
