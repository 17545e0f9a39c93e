#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dataset_scoring.hpp"

#include "dataset_plan.hpp"
#include "run_outcome.hpp"

namespace dadimero {

// The scores of one setting's runs, as evaluate-masks --dataset gives them.
struct SettingScores {
    size_t setting = 0;
    std::optional<DatasetScore> dataset;  // none when no run could be scored
    std::vector<size_t> runs;             // the run of each of dataset->videos
};

// One setting's F-measure and other scores per category and overall. A
// category where one of its runs failed, was cut short or could not be scored
// is "failed": never averaged, never compared.
struct SweepCell {
    bool failed = false;
    bool scored = false;  // a mean of scored videos exists
    int videos = 0;
    ChangeDetectionMeasures measures;
};

struct SweepRow {
    size_t setting = 0;
    std::vector<std::string> failedRuns;  // "name: why"
    std::vector<SweepCell> categories;    // as SweepSummary::categories
    SweepCell overall;  // failed when any run failed; its `videos` counts categories
};

struct SweepSummary {
    std::vector<std::string> categories;
    std::vector<SweepRow> rows;  // one per setting, in the plan's order
    // The row with the highest F-measure per category and overall, among
    // those not failed; the first one on a tie.
    std::vector<std::optional<size_t>> bestPerCategory;
    std::optional<size_t> bestOverall;
    // The options whose values differ between the settings, and each
    // setting's value of them ("" when a setting lacks one).
    std::vector<std::string> sweptOptions;
    std::vector<std::vector<std::string>> sweptValues;  // [row][option]
};

SweepSummary summariseSweep(const DatasetPlan& plan, const std::vector<RunOutcome>& outcomes,
                            const std::vector<SettingScores>& scores);

// The text of sweep.txt: the F-measure table, the best settings with their
// options, the settings with failed runs, where the plot and the other
// files are.
std::string sweepText(const DatasetPlan& plan, const SweepSummary& summary);

// Adds sweep.txt, sweep.json and sweep.csv (every measure of every setting
// per category and overall) in the output root to `files`.
void appendSweepFiles(const DatasetPlan& plan, const SweepSummary& summary,
                      std::vector<std::pair<std::filesystem::path, std::string>>& files);

// sweep.png in the output root: for one swept option, the F-measure against
// its value per category and overall; for two, heat maps of the F-measure over
// both. Nothing (and any old plot removed) for more. Throws std::runtime_error
// when it cannot be written.
void writeSweepPlot(const DatasetPlan& plan, const SweepSummary& summary);

// What the plot shows, or why there is none, for sweep.txt.
std::string sweepPlotNote(const SweepSummary& summary);

}  // namespace dadimero
