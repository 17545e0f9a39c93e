#include "score_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string formatMeasure(double value, const char* format) {
    if (std::isnan(value)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Name columns as wide as their longest entry, so long paths stay readable.
struct NameWidths {
    int sequence = 8;
    int masks = 5;
};

std::string tableRow(const NameWidths& widths, const std::string& sequence,
                     const std::string& masks, const std::string& frames, const std::string& tp,
                     const std::string& fp, const std::string& fn, const std::string& tn,
                     const std::string (&measures)[7]) {
    char counts[256];
    std::snprintf(counts, sizeof counts, " %6s %10s %10s %10s %10s", frames.c_str(), tp.c_str(),
                  fp.c_str(), fn.c_str(), tn.c_str());
    char values[256];
    std::snprintf(values, sizeof values, " %8s %8s %8s %8s %8s %9s %8s\n", measures[0].c_str(),
                  measures[1].c_str(), measures[2].c_str(), measures[3].c_str(),
                  measures[4].c_str(), measures[5].c_str(), measures[6].c_str());
    std::string row = sequence;
    row.resize(std::max<size_t>(row.size(), static_cast<size_t>(widths.sequence)), ' ');
    row += "  " + masks;
    row.resize(
        std::max<size_t>(row.size(), static_cast<size_t>(widths.sequence + 2 + widths.masks)), ' ');
    return row + counts + values;
}

std::string measureRow(const NameWidths& widths, const std::string& sequence,
                       const std::string& masks, const std::string& frames, const std::string& tp,
                       const std::string& fp, const std::string& fn, const std::string& tn,
                       const ChangeDetectionMeasures& m) {
    const std::string cells[7] = {formatMeasure(m.recall, "%.4f"),
                                  formatMeasure(m.specificity, "%.4f"),
                                  formatMeasure(m.falsePositiveRate, "%.4f"),
                                  formatMeasure(m.falseNegativeRate, "%.4f"),
                                  formatMeasure(m.percentWrong, "%.4f"),
                                  formatMeasure(m.precision, "%.4f"),
                                  formatMeasure(m.fMeasure, "%.4f")};
    return tableRow(widths, sequence, masks, frames, tp, fp, fn, tn, cells);
}

std::string jsonNumber(double value) {
    if (std::isnan(value)) return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonMeasures(const ChangeDetectionMeasures& m) {
    return "\"Recall\": " + jsonNumber(m.recall) +
           ", \"Specificity\": " + jsonNumber(m.specificity) +
           ", \"FPR\": " + jsonNumber(m.falsePositiveRate) +
           ", \"FNR\": " + jsonNumber(m.falseNegativeRate) +
           ", \"PWC\": " + jsonNumber(m.percentWrong) +
           ", \"Precision\": " + jsonNumber(m.precision) +
           ", \"FMeasure\": " + jsonNumber(m.fMeasure);
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
    const std::string names[7] = {"Recall", "Specif.", "FPR", "FNR", "PWC", "Precision", "F"};
    std::string table =
        tableRow(widths, "sequence", "masks", "frames", "TP", "FP", "FN", "TN", names);
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
