#include "sweep_summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "dataset_videos.hpp"
#include "report_formatting.hpp"

#include "run_options.hpp"
#include "shell_words.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

std::string categoryOfRun(const DatasetPlan& plan, size_t run) {
    return datasetVideoAt(plan.datasetRoot, plan.sequenceOf(run).relative).category;
}

// The word as a shell needs it: as it is when it holds nothing special.
std::string shellWord(const std::string& word) {
    const bool plain =
        !word.empty() && word.find_first_of(" \t\n'\"\\$`;&|<>()*?[]#~") == std::string::npos;
    return plain ? word : shellQuoted(word);
}

std::string optionsText(const Setting& setting) {
    std::string text;
    for (const std::string& option : setting.options) {
        if (!text.empty()) text += ' ';
        text += shellWord(option);
    }
    return text.empty() ? "(the defaults)" : text;
}

bool comparable(const SweepCell& cell) {
    return !cell.failed && cell.scored && !std::isnan(cell.measures.fMeasure);
}

std::optional<size_t> bestRow(const SweepSummary& summary,
                              const std::function<const SweepCell&(const SweepRow&)>& cellOf) {
    std::optional<size_t> best;
    for (size_t r = 0; r < summary.rows.size(); ++r) {
        const SweepCell& cell = cellOf(summary.rows[r]);
        if (!comparable(cell)) continue;
        if (!best || cell.measures.fMeasure > cellOf(summary.rows[*best]).measures.fMeasure) {
            best = r;
        }
    }
    return best;
}

std::string fCell(const SweepCell& cell) {
    if (cell.failed) return "failed";
    if (!cell.scored) return "-";
    return formatMeasure(cell.measures.fMeasure, "%.4f");
}

std::string padded(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// `count` names what cell.videos counts: "videos", or "categories" overall.
std::string cellJson(const SweepCell& cell, const char* count) {
    if (cell.failed) return "{\"failed\": true}";
    if (!cell.scored) return "null";
    return "{\"" + std::string(count) + "\": " + std::to_string(cell.videos) + ", " +
           jsonMeasures(cell.measures) + "}";
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string csvNumber(double value) {
    if (std::isnan(value)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

}  // namespace

SweepSummary summariseSweep(const DatasetPlan& plan, const std::vector<RunOutcome>& outcomes,
                            const std::vector<SettingScores>& scores) {
    SweepSummary summary;
    for (size_t q = 0; q < plan.sequences.size(); ++q) {
        const std::string category = categoryOfRun(plan, q);
        if (std::find(summary.categories.begin(), summary.categories.end(), category) ==
            summary.categories.end()) {
            summary.categories.push_back(category);
        }
    }
    std::sort(summary.categories.begin(), summary.categories.end());
    auto indexOf = [&](const std::string& category) {
        return static_cast<size_t>(
            std::find(summary.categories.begin(), summary.categories.end(), category) -
            summary.categories.begin());
    };
    for (size_t s = 0; s < plan.settings.size(); ++s) {
        SweepRow row;
        row.setting = s;
        row.categories.resize(summary.categories.size());
        for (size_t q = 0; q < plan.sequences.size(); ++q) {
            const size_t run = s * plan.sequences.size() + q;
            const RunOutcome& o = outcomes[run];
            if (o.outcome != Outcome::Failed && o.outcome != Outcome::CutShort) continue;
            row.failedRuns.push_back(plan.nameOf(run) + ": " + o.detail);
            row.categories[indexOf(categoryOfRun(plan, run))].failed = true;
            row.overall.failed = true;
        }
        const SettingScores& score = scores[s];
        if (score.dataset) {
            for (size_t v = 0; v < score.dataset->videos.size(); ++v) {
                const VideoScore& video = score.dataset->videos[v];
                if (video.outcome != VideoOutcome::NotScored) continue;
                row.failedRuns.push_back(plan.nameOf(score.runs[v]) +
                                         ": not scored: " + video.leftOutBecause);
                row.categories[indexOf(video.video.category)].failed = true;
                row.overall.failed = true;
            }
            for (const CategoryScore& c : score.dataset->categories) {
                SweepCell& cell = row.categories[indexOf(c.category)];
                cell.scored = true;
                cell.videos = c.videos;
                cell.measures = c.measures;
            }
            if (!score.dataset->categories.empty()) {
                row.overall.scored = true;
                row.overall.videos = static_cast<int>(score.dataset->categories.size());
                row.overall.measures = score.dataset->overall;
            }
        }
        summary.rows.push_back(std::move(row));
    }
    for (size_t c = 0; c < summary.categories.size(); ++c) {
        summary.bestPerCategory.push_back(bestRow(
            summary, [c](const SweepRow& row) -> const SweepCell& { return row.categories[c]; }));
    }
    summary.bestOverall =
        bestRow(summary, [](const SweepRow& row) -> const SweepCell& { return row.overall; });

    // The swept options: those whose values are not the same in every setting.
    std::vector<std::map<std::string, std::string>> values;
    std::vector<std::string> names;
    for (const Setting& setting : plan.settings) {
        TakenOptions taken;
        readRunOptions(setting.options, &taken);
        std::map<std::string, std::string> byName;
        for (const TakenOption& option : taken)
            byName[option.name] = option.value;
        // In the order the user gave them: the first grid is the first axis.
        for (const std::string& word : setting.options) {
            if (byName.count(word) != 0 &&
                std::find(names.begin(), names.end(), word) == names.end()) {
                names.push_back(word);
            }
        }
        values.push_back(std::move(byName));
    }
    for (const std::string& name : names) {
        const auto valueOf = [&](const std::map<std::string, std::string>& m) {
            const auto it = m.find(name);
            return it == m.end() ? std::string() : it->second;
        };
        const bool varies = std::any_of(values.begin(), values.end(), [&](const auto& m) {
            return valueOf(m) != valueOf(values.front());
        });
        if (varies) summary.sweptOptions.push_back(name);
    }
    for (const auto& m : values) {
        std::vector<std::string> row;
        for (const std::string& name : summary.sweptOptions) {
            const auto it = m.find(name);
            row.push_back(it == m.end() ? "" : it->second);
        }
        summary.sweptValues.push_back(std::move(row));
    }
    return summary;
}

std::string sweepPlotNote(const SweepSummary& summary) {
    switch (summary.sweptOptions.size()) {
        case 1:
            return "Plot: sweep.png, the F-measure against " + summary.sweptOptions[0] +
                   " per category and overall.\n";
        case 2:
            return "Plot: sweep.png, heat maps of the F-measure over " + summary.sweptOptions[0] +
                   " and " + summary.sweptOptions[1] + ", overall and per category.\n";
        default:
            return "No plot: the settings differ in " +
                   std::to_string(summary.sweptOptions.size()) +
                   " options; a plot shows one or two.\n";
    }
}

std::string sweepText(const DatasetPlan& plan, const SweepSummary& summary) {
    std::string text = "Sweep of " + std::to_string(plan.settings.size()) + " settings over " +
                       std::to_string(plan.sequences.size()) + " sequences in " +
                       std::to_string(summary.categories.size()) +
                       " categories: the F-measure per category and overall (the mean of the "
                       "category means).\nA setting with a failed run shows \"failed\" where it "
                       "failed and is left out of every comparison there.\n\n";
    size_t width = std::string("setting").size();
    for (const SweepRow& row : summary.rows)
        width = std::max(width, plan.settings[row.setting].folder.size());
    for (const std::string& c : summary.categories)
        width = std::max(width, c.size());
    std::vector<size_t> columns;
    text += padded("setting", width);
    for (const std::string& c : summary.categories) {
        columns.push_back(std::max<size_t>(c.size(), 7));
        text += "  " + padded(c, columns.back());
    }
    text += "  overall\n";
    for (const SweepRow& row : summary.rows) {
        text += padded(plan.settings[row.setting].folder, width);
        for (size_t c = 0; c < row.categories.size(); ++c)
            text += "  " + padded(fCell(row.categories[c]), columns[c]);
        text += "  " + fCell(row.overall) + "\n";
    }
    text += "\nBest setting (highest F-measure):\n";
    auto best = [&](const std::string& what, const std::optional<size_t>& row,
                    const std::function<const SweepCell&(const SweepRow&)>& cellOf) {
        text += "  " + padded(what, width) + "  ";
        if (!row) {
            text += "none: no setting scored without failures\n";
            return;
        }
        const SweepRow& r = summary.rows[*row];
        text += formatMeasure(cellOf(r).measures.fMeasure, "%.4f") + "  " +
                plan.settings[r.setting].folder + "  (" + optionsText(plan.settings[r.setting]) +
                ")\n";
    };
    for (size_t c = 0; c < summary.categories.size(); ++c) {
        best(summary.categories[c], summary.bestPerCategory[c],
             [c](const SweepRow& row) -> const SweepCell& { return row.categories[c]; });
    }
    best("overall", summary.bestOverall,
         [](const SweepRow& row) -> const SweepCell& { return row.overall; });
    bool anyFailed = false;
    for (const SweepRow& row : summary.rows) {
        if (row.failedRuns.empty()) continue;
        if (!anyFailed) text += "\nSettings with failed runs:\n";
        anyFailed = true;
        text += "  " + plan.settings[row.setting].folder + ":\n";
        for (const std::string& run : row.failedRuns)
            text += "    " + run + "\n";
    }
    text += "\n" + sweepPlotNote(summary);
    text +=
        "Every measure of every setting: sweep.csv and sweep.json; each setting's own "
        "scores: SETTING/scores.txt.\n";
    return text;
}

void appendSweepFiles(const DatasetPlan& plan, const SweepSummary& summary,
                      std::vector<std::pair<fs::path, std::string>>& files) {
    std::string csv =
        "setting,options,category,status,videos,Recall,Specificity,FPR,FNR,PWC,Precision,"
        "FMeasure\n";
    std::string json = "{\"settings\": [";
    for (size_t r = 0; r < summary.rows.size(); ++r) {
        const SweepRow& row = summary.rows[r];
        const Setting& setting = plan.settings[row.setting];
        auto csvRow = [&](const std::string& category, const SweepCell& cell) {
            csv += csvField(setting.folder) + "," + csvField(optionsText(setting)) + "," +
                   csvField(category) + "," +
                   (cell.failed   ? "failed"
                    : cell.scored ? "scored"
                                  : "not scored") +
                   ",";
            if (!cell.scored || cell.failed) {
                csv += ",,,,,,,\n";
                return;
            }
            const ChangeDetectionMeasures& m = cell.measures;
            csv += std::to_string(cell.videos) + "," + csvNumber(m.recall) + "," +
                   csvNumber(m.specificity) + "," + csvNumber(m.falsePositiveRate) + "," +
                   csvNumber(m.falseNegativeRate) + "," + csvNumber(m.percentWrong) + "," +
                   csvNumber(m.precision) + "," + csvNumber(m.fMeasure) + "\n";
        };
        json += std::string(r == 0 ? "" : ", ") + "{\"setting\": " + jsonString(setting.folder) +
                ", \"options\": [";
        for (size_t i = 0; i < setting.options.size(); ++i)
            json += (i == 0 ? "" : ", ") + jsonString(setting.options[i]);
        json += "], \"failedRuns\": [";
        for (size_t i = 0; i < row.failedRuns.size(); ++i)
            json += (i == 0 ? "" : ", ") + jsonString(row.failedRuns[i]);
        json += "], \"categories\": {";
        for (size_t c = 0; c < summary.categories.size(); ++c) {
            csvRow(summary.categories[c], row.categories[c]);
            json += (c == 0 ? "" : ", ") + jsonString(summary.categories[c]) + ": " +
                    cellJson(row.categories[c], "videos");
        }
        csvRow("overall", row.overall);
        json += "}, \"overall\": " + cellJson(row.overall, "categories") + "}";
    }
    json += "], \"best\": {\"categories\": {";
    auto bestJson = [&](const std::optional<size_t>& row, double f) {
        if (!row) return std::string("null");
        const Setting& setting = plan.settings[summary.rows[*row].setting];
        return "{\"setting\": " + jsonString(setting.folder) + ", \"FMeasure\": " + jsonNumber(f) +
               "}";
    };
    for (size_t c = 0; c < summary.categories.size(); ++c) {
        const std::optional<size_t>& row = summary.bestPerCategory[c];
        json += (c == 0 ? "" : ", ") + jsonString(summary.categories[c]) + ": " +
                bestJson(row, row ? summary.rows[*row].categories[c].measures.fMeasure : 0.0);
    }
    json +=
        "}, \"overall\": " +
        bestJson(summary.bestOverall,
                 summary.bestOverall ? summary.rows[*summary.bestOverall].overall.measures.fMeasure
                                     : 0.0) +
        "}}\n";
    files.emplace_back(plan.outputRoot / "sweep.txt", sweepText(plan, summary));
    files.emplace_back(plan.outputRoot / "sweep.json", json);
    files.emplace_back(plan.outputRoot / "sweep.csv", csv);
}

}  // namespace dadimero
