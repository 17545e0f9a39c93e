#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dataset_plan.hpp"
#include "run_completeness.hpp"

namespace dadimero {

// What a complete run of the plan must show: its options record, the input
// fingerprint of its sequence and its frames.
struct ExpectedRun {
    std::string options;
    std::string inputs;
    std::optional<RunFrames> frames;
};

// The expectations of every run of the plan. The sequences' fingerprints are
// taken once each.
std::vector<ExpectedRun> expectedRuns(const DatasetPlan& plan);

// How a task starts the line that says why it failed, so that the line is
// told apart from what else may end its log (a scheduler's own message).
inline constexpr const char* kTaskFailure = "dadimero-dataset task: ";

// How a task ended, as far as its engine knows.
struct TaskEnd {
    bool started = false;
    int status = -1;      // its exit status, -1 when unknown
    std::string message;  // the last line the task printed: its own failure
};

enum class Outcome { Ran, Skipped, NoFrames, Failed, CutShort, Interrupted };

struct RunOutcome {
    Outcome outcome = Outcome::Failed;
    std::string detail;  // why it failed, was cut short or has no frames
};

// The state of a run after the engines: complete (ran, or skipped when it was
// not asked to run), no frames, or what went wrong, said as the user needs it
// (the exit code, the last line of the log and where the log is; a status
// that could not be written; a run cut short by a time limit or a kill).
// `interruptedBy` is the signal that stopped the program, or 0.
RunOutcome judgeRun(const DatasetPlan& plan, size_t run, const ExpectedRun& expected,
                    bool askedToRun, const TaskEnd* end, int interruptedBy);

// "exited 3: Unable to write file bin000041.png", or "was killed by SIGKILL
// (status 137): ..." with the last line of the run's log.
std::string exitDescription(int status, const std::filesystem::path& folder);

// The summary of every run: its count line, then one line per failed, cut
// short, interrupted or frameless run.
std::string summaryText(const DatasetPlan& plan, const std::vector<RunOutcome>& outcomes,
                        int interruptedBy);

}  // namespace dadimero
