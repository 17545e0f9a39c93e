#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "change_detection_scores.hpp"
#include "dataset_videos.hpp"
#include "sequence_scoring.hpp"

enum class VideoOutcome {
    Scored,
    NoFrames,   // its range holds no frame: nothing to score
    NotScored,  // a file is missing or damaged
};

struct VideoScore {
    DatasetVideo video;
    VideoOutcome outcome = VideoOutcome::Scored;
    std::string leftOutBecause;  // why it is not scored, naming the file at fault
    SequenceScore score;         // when scored
};

struct CategoryScore {
    std::string category;
    int videos = 0;                    // scored ones
    ChangeDetectionMeasures measures;  // the mean of its videos' measures
};

// A dataset's scores: per video, per category, and overall as the mean of the
// category means, so that a category with many videos weighs no more than one
// with few. Undefined measures, videos left out and categories without a
// scored video are left out of every mean.
struct DatasetScore {
    std::vector<VideoScore> videos;
    std::vector<CategoryScore> categories;
    ChangeDetectionMeasures overall;
};

// Scores each of the videos, grouped by category, against the masks at the
// same relative path under `resultsRoot`. A video that cannot be scored is
// kept with the reason and its outcome; it never stops the others. Throws
// std::runtime_error when there is no video at all.
DatasetScore scoreDataset(const std::filesystem::path& datasetRoot,
                          const std::filesystem::path& resultsRoot,
                          const std::vector<DatasetVideo>& videos);
