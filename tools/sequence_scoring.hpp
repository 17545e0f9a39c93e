#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "change_detection_scores.hpp"
#include "evaluated_range.hpp"

struct FrameCounts {
    int64_t frame = 0;
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

// A range without frames: nothing to score, which is no damage.
struct NothingToScore : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Scores bin%06d.png in `masks` against the sequence's ground truth over
// `frames` (by default its temporal range) inside its region of interest.
// Throws NothingToScore ("no frames in range 150..120") for an empty range, and
// std::runtime_error naming the file for a missing, unreadable or wrongly sized
// mask, GT frame or ROI.bmp, a GT frame that is not 8-bit or holds a value that
// is no label (naming the values), or an unreadable temporalROI.txt. Masks and
// ROI.bmp may have any bit depth: nonzero is detected, or inside.
SequenceScore scoreSequence(const std::filesystem::path& sequence,
                            const std::filesystem::path& masks,
                            const std::optional<EvaluatedRange>& frames = std::nullopt);
