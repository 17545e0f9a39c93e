#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "change_detection_scores.hpp"

struct FrameCounts {
    int frame = 0;
    ConfusionCounts counts;
};

// The score of one folder of masks against one sequence.
struct SequenceScore {
    std::string sequence;  // as given on the command line
    std::string masks;
    int frames = 0;
    ConfusionCounts counts;  // over all its frames
    ChangeDetectionMeasures measures;
    std::vector<FrameCounts> perFrame;  // in frame order
};

// Scores bin%06d.png in `masks` against the sequence's ground truth over its
// temporal range and region of interest. Throws std::runtime_error naming the
// file for a missing, unreadable or wrongly sized mask, GT frame or ROI.bmp.
SequenceScore scoreSequence(const std::filesystem::path& sequence,
                            const std::filesystem::path& masks);
