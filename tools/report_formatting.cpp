#include "report_formatting.hpp"

#include <cmath>
#include <cstdio>

std::string formatMeasure(double value, const char* format) {
    if (std::isnan(value)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string jsonNumber(double value) {
    if (std::isnan(value)) return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string visibleText(const std::string& text) {
    std::string shown;
    for (const unsigned char c : text) {
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            shown += escape;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
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

MeasureCells measureCells(const ChangeDetectionMeasures& m) {
    return {formatMeasure(m.recall, "%.4f"),
            formatMeasure(m.specificity, "%.4f"),
            formatMeasure(m.falsePositiveRate, "%.4f"),
            formatMeasure(m.falseNegativeRate, "%.4f"),
            formatMeasure(m.percentWrong, "%.4f"),
            formatMeasure(m.precision, "%.4f"),
            formatMeasure(m.fMeasure, "%.4f")};
}

std::string measureColumns(const MeasureCells& c) {
    char columns[256];
    std::snprintf(columns, sizeof columns, " %8s %8s %8s %8s %8s %9s %8s", c[0].c_str(),
                  c[1].c_str(), c[2].c_str(), c[3].c_str(), c[4].c_str(), c[5].c_str(),
                  c[6].c_str());
    return columns;
}
