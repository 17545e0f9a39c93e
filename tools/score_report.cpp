#include "score_report.hpp"

#include <cmath>
#include <cstdio>

namespace {

std::string formatMeasure(double value, const char* format) {
    if (std::isnan(value)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string tableRow(const std::string& name, const std::string& frames, const std::string& tp,
                     const std::string& fp, const std::string& fn, const std::string& tn,
                     const ChangeDetectionMeasures& m) {
    char row[512];
    std::snprintf(
        row, sizeof row, "%-24s %6s %10s %10s %10s %10s %8s %8s %8s %8s %8s %9s %8s\n",
        name.c_str(), frames.c_str(), tp.c_str(), fp.c_str(), fn.c_str(), tn.c_str(),
        formatMeasure(m.recall, "%.4f").c_str(), formatMeasure(m.specificity, "%.4f").c_str(),
        formatMeasure(m.falsePositiveRate, "%.4f").c_str(),
        formatMeasure(m.falseNegativeRate, "%.4f").c_str(),
        formatMeasure(m.percentWrong, "%.4f").c_str(), formatMeasure(m.precision, "%.4f").c_str(),
        formatMeasure(m.fMeasure, "%.4f").c_str());
    return row;
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
    char header[512];
    std::snprintf(header, sizeof header,
                  "%-24s %6s %10s %10s %10s %10s %8s %8s %8s %8s %8s %9s %8s\n", "sequence",
                  "frames", "TP", "FP", "FN", "TN", "Recall", "Specif.", "FPR", "FNR", "PWC",
                  "Precision", "F");
    std::string table = header;
    for (const SequenceScore& s : scores) {
        table += tableRow(
            s.sequence, std::to_string(s.frames), std::to_string(s.counts.truePositives),
            std::to_string(s.counts.falsePositives), std::to_string(s.counts.falseNegatives),
            std::to_string(s.counts.trueNegatives), s.measures);
    }
    if (scores.size() > 1) {
        table += tableRow("average", "", "", "", "", "", averageOf(measuresOfAll(scores)));
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
