#include "run_outcome.hpp"

#include <string.h>

#include <csignal>
#include <map>

#include "input_fingerprint.hpp"
#include "parallel_for.hpp"
#include "run_options.hpp"
#include "run_record.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

std::string lastLogLine(const fs::path& folder) {
    const std::string line = lastLineOf(folder / kRunLog);
    return line.empty() ? "no log" : line;
}

std::string logNote(const fs::path& folder) {
    return " (log: " + displayPath(folder / kRunLog) + ")";
}

}  // namespace

std::vector<ExpectedRun> expectedRuns(const DatasetPlan& plan) {
    std::vector<std::string> fingerprints(plan.sequences.size());
    forEachInParallel(plan.sequences.size(), [&](size_t i) {
        fingerprints[i] = inputFingerprint(plan.sequences[i].path);
    });
    std::vector<ExpectedRun> expected(plan.runCount());
    for (size_t run = 0; run < plan.runCount(); ++run) {
        const std::vector<std::string> options = plan.optionsOf(run);
        expected[run].options = optionsRecord(options);
        expected[run].inputs = fingerprints[run % plan.sequences.size()];
        expected[run].frames = framesOfRun(readRunOptions(options), plan.sequenceOf(run).path);
    }
    return expected;
}

std::string exitDescription(int status, const fs::path& folder) {
    std::string text;
    if (status > 128 && status < 128 + NSIG) {
        const char* name = sigabbrev_np(status - 128);
        text = "was killed by " +
               (name != nullptr ? "SIG" + std::string(name)
                                : "signal " + std::to_string(status - 128)) +
               " (status " + std::to_string(status) + ")";
    } else {
        // DADI-MERO's exit codes, for when its log could not say (a full disk).
        static const char* const kMeanings[] = {"", " (input unusable)", " (bad option)",
                                                " (mask not written)", " (internal failure)"};
        text = "exited " + std::to_string(status) +
               (status >= 1 && status <= 4 ? kMeanings[status] : "");
    }
    return text + ": " + lastLogLine(folder);
}

RunOutcome judgeRun(const DatasetPlan& plan, size_t run, const ExpectedRun& expected,
                    bool askedToRun, const TaskEnd* end, int interruptedBy) {
    const fs::path folder = plan.folderOf(run);
    if (expected.frames && expected.frames->empty()) {
        return {Outcome::NoFrames, "no frames in range " + std::to_string(expected.frames->first) +
                                       ".." + std::to_string(expected.frames->last)};
    }
    const RunCheck check = checkRun(folder, expected.options, expected.inputs, expected.frames);
    if (check.state == RunState::Complete)
        return {askedToRun ? Outcome::Ran : Outcome::Skipped, ""};
    const bool hasStatus = check.state != RunState::NotRun;
    const int status = hasStatus ? std::atoi(check.status.c_str()) : -1;
    const bool started = readRecord(folder, kOptionsRecord).has_value();
    if (interruptedBy != 0 && (!hasStatus || status > 128)) {
        return {Outcome::Interrupted, started ? logNote(folder).substr(1) : "(not started)"};
    }
    const std::string message = end != nullptr ? end->message : "";
    // The task's own failure comes first: what the folder holds may be an
    // earlier run's, which it could not clear.
    const std::string prefix = kTaskFailure;
    if (message.rfind(prefix, 0) == 0) {
        const std::string why = message.substr(prefix.size());
        return {Outcome::Failed, started ? why + logNote(folder) : "did not start: " + why};
    }
    switch (check.state) {
        case RunState::Failed:
            return {Outcome::Failed, exitDescription(status, folder) + logNote(folder)};
        case RunState::OptionsChanged:
            return {Outcome::Failed,
                    "exit 0, but its recorded options are not the ones it was "
                    "given" +
                        logNote(folder)};
        case RunState::InputsChanged:
            return {Outcome::Failed,
                    "exit 0, but the sequence's files changed while it ran" + logNote(folder)};
        case RunState::FramesUnknown:
            return {Outcome::Failed,
                    "exit 0, but its frames are unknown (" +
                        displayPath(plan.sequenceOf(run).path / "temporalROI.txt") +
                        " cannot be read)" + logNote(folder)};
        case RunState::MaskDamaged:
            return {Outcome::Failed, "exit 0, but mask " + displayPath(check.badMask) +
                                         " is missing or damaged" + logNote(folder)};
        case RunState::NotRun:
        case RunState::Complete:
            break;
    }
    if (started) {
        return {Outcome::CutShort,
                (message.empty() ? "it left no status: a time limit, scancel, a node failure or "
                                   "a kill stopped it"
                                 : "it left no status: " + message) +
                    logNote(folder)};
    }
    if (!message.empty()) return {Outcome::Failed, "did not start: " + message};
    if (end != nullptr && end->started && end->status >= 0) {
        return {Outcome::Failed, "did not start: its task exited " + std::to_string(end->status)};
    }
    return {Outcome::Failed, "did not start"};
}

std::string summaryText(const DatasetPlan& plan, const std::vector<RunOutcome>& outcomes,
                        int interruptedBy) {
    std::map<Outcome, size_t> counts;
    for (const RunOutcome& o : outcomes)
        ++counts[o.outcome];
    std::string text = "Summary: " + std::to_string(counts[Outcome::Ran]) + " ran, " +
                       std::to_string(counts[Outcome::Skipped]) + " skipped (complete), " +
                       std::to_string(counts[Outcome::Failed]) + " failed";
    if (counts[Outcome::CutShort] > 0) {
        text += ", " + std::to_string(counts[Outcome::CutShort]) + " cut short";
    }
    if (counts[Outcome::NoFrames] > 0) {
        text += ", " + std::to_string(counts[Outcome::NoFrames]) + " with no frames";
    }
    if (interruptedBy != 0) {
        text += ", " + std::to_string(counts[Outcome::Interrupted]) + " interrupted";
    }
    text += "\n";
    const std::pair<Outcome, const char*> kinds[] = {{Outcome::Failed, "  FAILED "},
                                                     {Outcome::CutShort, "  CUT SHORT "},
                                                     {Outcome::NoFrames, "  "},
                                                     {Outcome::Interrupted, "  interrupted: "}};
    for (const auto& [kind, lead] : kinds) {
        for (size_t run = 0; run < outcomes.size(); ++run) {
            const RunOutcome& o = outcomes[run];
            if (o.outcome != kind) continue;
            if (kind == Outcome::NoFrames) {
                text += lead + o.detail + ": " + plan.nameOf(run) + "\n";
            } else if (kind == Outcome::Interrupted) {
                text += lead + plan.nameOf(run) + " " + o.detail + "\n";
            } else {
                text += lead + plan.nameOf(run) + ": " + o.detail + "\n";
            }
        }
    }
    return text;
}

}  // namespace dadimero
