#pragma once

#include <string>
#include <vector>

#include "bench_sequence.hpp"
#include "child_process.hpp"

// Runs the built DADI-MERO executable on the sequence with `options` in
// `workDir`, as the user runs it. The run fails unless it exits 0 and leaves
// one mask per online frame.
ChildOutcome runDadiProcess(const std::string& program, const BenchSequence& layout,
                            const std::vector<std::string>& options, const std::string& workDir);
