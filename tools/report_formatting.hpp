#pragma once

#include <array>
#include <string>

#include "change_detection_scores.hpp"

// Text pieces shared by the score tables and the JSON reports.

// The value printed with `format`, or "n/a" when it is undefined (NaN).
std::string formatMeasure(double value, const char* format);

// The value with six decimals, or null when it is undefined (NaN).
std::string jsonNumber(double value);

// The text with its control characters shown as escapes (\n, \t, \x1b), so
// that a name stays on one line of a table or a message.
std::string visibleText(const std::string& text);

// The text as a quoted JSON string, escaping quotes, backslashes and control
// characters.
std::string jsonString(const std::string& text);

// The seven measures as JSON members: "Recall": ..., "FMeasure": ...
std::string jsonMeasures(const ChangeDetectionMeasures& measures);

// The seven measures as table cells, in the order of kMeasureHeaders.
using MeasureCells = std::array<std::string, 7>;
inline const MeasureCells kMeasureHeaders = {"Recall", "Specif.",   "FPR", "FNR",
                                             "PWC",    "Precision", "F"};

// Each measure with four decimals, or n/a.
MeasureCells measureCells(const ChangeDetectionMeasures& measures);

// The cells right-aligned in the tables' measure columns, each after a space.
std::string measureColumns(const MeasureCells& cells);
