#include "dataset_end.hpp"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "sequence_directory.hpp"

#include "dataset_report.hpp"  // the tables of the scores
#include "dataset_scoring.hpp"
#include "dataset_videos.hpp"
#include "text_file.hpp"

#include "parallel_for.hpp"
#include "sweep_summary.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

// The videos of one setting to score: its complete runs of sequences that have
// ground truth, over the frames of their temporal range that have masks, and
// those with no frames, so that the scores name them.
// `runs` receives the run of each video.
std::vector<DatasetVideo> videosOfSetting(const DatasetPlan& plan, size_t setting,
                                          const std::vector<ExpectedRun>& expected,
                                          const std::vector<RunOutcome>& outcomes,
                                          std::vector<size_t>& runs) {
    std::vector<DatasetVideo> videos;
    for (size_t q = 0; q < plan.sequences.size(); ++q) {
        const size_t run = setting * plan.sequences.size() + q;
        const Outcome o = outcomes[run].outcome;
        if (o != Outcome::Ran && o != Outcome::Skipped && o != Outcome::NoFrames) continue;
        if (!fs::is_directory(SequenceDirectory(plan.sequences[q].path).groundTruthFolder())) {
            continue;
        }
        DatasetVideo video = datasetVideoAt(plan.datasetRoot, plan.sequences[q].relative);
        const RunFrames& f = *expected[run].frames;
        video.frames = o == Outcome::NoFrames ? EvaluatedRange{f.first, f.last}
                                              : EvaluatedRange{f.scoredFirst, f.scoredLast};
        videos.push_back(video);
        runs.push_back(run);
    }
    return videos;
}

// Scores every setting while watching for a stop: nothing is written before
// all the scores are known, so a stop leaves the previous ones.
std::vector<SettingScores> scoreSettings(const DatasetPlan& plan,
                                         const std::vector<ExpectedRun>& expected,
                                         const std::vector<RunOutcome>& outcomes,
                                         const SignalWatch& signals) {
    std::vector<SettingScores> scores(plan.settings.size());
    signals.runOrEndOnSignal(
        [&] {
            forEachInParallel(plan.settings.size(), [&](size_t s) {
                scores[s].setting = s;
                const std::vector<DatasetVideo> videos =
                    videosOfSetting(plan, s, expected, outcomes, scores[s].runs);
                if (!videos.empty()) {
                    scores[s].dataset =
                        scoreDataset(plan.datasetRoot, plan.resultsRootOf(s), videos);
                }
            });
        },
        "start it again to resume");
    return scores;
}

int interruptedExit(int signal) {
    std::fprintf(stderr, "dadimero-dataset: interrupted by %s; start it again to resume\n",
                 signal == SIGINT ? "INT" : "TERM");
    return 128 + signal;
}

}  // namespace

int finishDataset(const DatasetPlan& plan, const std::vector<ExpectedRun>& expected,
                  const std::vector<TaskEnd>& ends, int interruptedBy, const SignalWatch& signals) {
    std::vector<const TaskEnd*> endOf(plan.runCount(), nullptr);
    std::vector<bool> asked(plan.runCount(), false);
    for (size_t i = 0; i < plan.toRun.size(); ++i) {
        asked[plan.toRun[i]] = true;
        if (i < ends.size()) endOf[plan.toRun[i]] = &ends[i];
    }
    std::vector<RunOutcome> outcomes(plan.runCount());
    forEachInParallel(plan.runCount(), [&](size_t run) {
        outcomes[run] = judgeRun(plan, run, expected[run], asked[run], endOf[run], interruptedBy);
    });
    std::printf("\n%s", summaryText(plan, outcomes, interruptedBy).c_str());
    std::fflush(stdout);
    if (interruptedBy != 0) return interruptedExit(interruptedBy);

    bool failed = false;
    for (const RunOutcome& o : outcomes) {
        if (o.outcome == Outcome::Failed || o.outcome == Outcome::CutShort) failed = true;
    }
    const std::vector<SettingScores> scores = scoreSettings(plan, expected, outcomes, signals);
    try {
        std::vector<std::pair<fs::path, std::string>> files;
        for (const SettingScores& s : scores) {
            if (!s.dataset) continue;
            const fs::path root = plan.resultsRootOf(s.setting);
            files.emplace_back(root / "scores.txt", datasetTable(*s.dataset));
            files.emplace_back(root / "scores.json", datasetJson(*s.dataset));
            for (size_t i = 0; i < s.dataset->videos.size(); ++i) {
                const VideoScore& v = s.dataset->videos[i];
                if (v.outcome == VideoOutcome::NotScored) failed = true;
                if (v.outcome == VideoOutcome::Scored) continue;
                std::fprintf(stderr, "dadimero-dataset: left out %s: %s\n",
                             plan.nameOf(s.runs[i]).c_str(), v.leftOutBecause.c_str());
            }
        }
        if (plan.sweep) {
            const SweepSummary summary = summariseSweep(plan, outcomes, scores);
            appendSweepFiles(plan, summary, files);
            replaceTextFiles(files);
            writeSweepPlot(plan, summary);
            std::printf("\n%s", sweepText(plan, summary).c_str());
        } else {
            replaceTextFiles(files);
            if (!files.empty()) std::printf("\n%s", files[0].second.c_str());
        }
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "dadimero-dataset: %s\n", error.what());
        return 1;
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}

}  // namespace dadimero
