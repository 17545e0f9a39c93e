#include "score_report.hpp"

#include <algorithm>
#include <cstdio>

#include "report_formatting.hpp"

namespace {

// Name columns as wide as their longest entry, so long paths stay readable.
struct NameWidths {
    int sequence = 8;
    int masks = 5;
};

std::string tableRow(const NameWidths& widths, const std::string& sequence,
                     const std::string& masks, const std::string& frames, const std::string& tp,
                     const std::string& fp, const std::string& fn, const std::string& tn,
                     const MeasureCells& measures) {
    char counts[256];
    std::snprintf(counts, sizeof counts, " %6s %10s %10s %10s %10s", frames.c_str(), tp.c_str(),
                  fp.c_str(), fn.c_str(), tn.c_str());
    std::string row = sequence;
    row.resize(std::max<size_t>(row.size(), static_cast<size_t>(widths.sequence)), ' ');
    row += "  " + masks;
    row.resize(
        std::max<size_t>(row.size(), static_cast<size_t>(widths.sequence + 2 + widths.masks)), ' ');
    return row + counts + measureColumns(measures) + "\n";
}

std::string measureRow(const NameWidths& widths, const std::string& sequence,
                       const std::string& masks, const std::string& frames, const std::string& tp,
                       const std::string& fp, const std::string& fn, const std::string& tn,
                       const ChangeDetectionMeasures& m) {
    return tableRow(widths, sequence, masks, frames, tp, fp, fn, tn, measureCells(m));
}

std::vector<ChangeDetectionMeasures> measuresOfAll(const std::vector<SequenceScore>& scores) {
    std::vector<ChangeDetectionMeasures> all;
    for (const SequenceScore& s : scores)
        all.push_back(s.measures);
    return all;
}

}  // namespace

std::string scoreTable(const std::vector<SequenceScore>& scores) {
    NameWidths widths;
    for (const SequenceScore& s : scores) {
        widths.sequence = std::max(widths.sequence, static_cast<int>(s.sequence.size()));
        widths.masks = std::max(widths.masks, static_cast<int>(s.masks.size()));
    }
    std::string table =
        tableRow(widths, "sequence", "masks", "frames", "TP", "FP", "FN", "TN", kMeasureHeaders);
    for (const SequenceScore& s : scores) {
        table += measureRow(widths, s.sequence, s.masks, std::to_string(s.frames),
                            std::to_string(s.counts.truePositives),
                            std::to_string(s.counts.falsePositives),
                            std::to_string(s.counts.falseNegatives),
                            std::to_string(s.counts.trueNegatives), s.measures);
    }
    if (scores.size() > 1) {
        table +=
            measureRow(widths, "average", "", "", "", "", "", "", averageOf(measuresOfAll(scores)));
    }
    return table;
}

std::string scoreJson(const std::vector<SequenceScore>& scores) {
    std::string json = "{\"sequences\": [";
    for (size_t i = 0; i < scores.size(); ++i) {
        const SequenceScore& s = scores[i];
        json += i == 0 ? "\n  " : ",\n  ";
        json += "{\"sequence\": " + jsonString(s.sequence) + ", \"masks\": " + jsonString(s.masks) +
                ", \"frames\": " + std::to_string(s.frames) +
                ", \"TP\": " + std::to_string(s.counts.truePositives) +
                ", \"FP\": " + std::to_string(s.counts.falsePositives) +
                ", \"FN\": " + std::to_string(s.counts.falseNegatives) +
                ", \"TN\": " + std::to_string(s.counts.trueNegatives) + ", " +
                jsonMeasures(s.measures) + "}";
    }
    json += "\n],\n\"average\": {" + jsonMeasures(averageOf(measuresOfAll(scores))) + "}}\n";
    return json;
}
