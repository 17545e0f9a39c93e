#pragma once

#include <functional>
#include <string>
#include <vector>

// What the parent saw of one child: its wall time from fork to reaping, its
// own peak resident memory (wait4 rusage), and the bytes it sent back.
struct ChildOutcome {
    bool succeeded = false;
    double wallSeconds = 0.0;
    long peakRssKb = 0;
    std::vector<char> payload;
};

// Runs `body` in a forked child so that its peak memory is its own. The bytes
// the body returns reach the parent through a pipe. A body that throws makes
// the child fail.
using ChildBody = std::function<std::vector<char>()>;
ChildOutcome runForked(const ChildBody& body);

// Runs `program` with `args` (entry 0 included) in `workDir`, standard output
// and standard error discarded, as the user would run it.
ChildOutcome runProgram(const std::string& program, const std::vector<std::string>& args,
                        const std::string& workDir);

// Peak resident memory of this process so far. A forked child starts with the
// parent's pages, so this is a floor under every child's peak.
long ownPeakRssKb();
