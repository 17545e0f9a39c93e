#pragma once

#include <string>
#include <vector>

#include "sequence_scoring.hpp"

// A plain-text table: one row per sequence and, for several, their average.
std::string scoreTable(const std::vector<SequenceScore>& scores);

// One JSON object: {"sequences": [...], "average": {...}}; undefined measures
// are null.
std::string scoreJson(const std::vector<SequenceScore>& scores);
