#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "change_detection_scores.hpp"
#include "dataset_videos.hpp"
#include "sequence_scoring.hpp"

struct VideoScore {
    DatasetVideo video;
    SequenceScore score;
};

struct CategoryScore {
    std::string category;
    int videos = 0;
    ChangeDetectionMeasures measures;  // the mean of its videos' measures
};

// A dataset's scores: per video, per category, and overall as the mean of the
// category means, so that a category with many videos weighs no more than one
// with few. Undefined measures are left out of every mean.
struct DatasetScore {
    std::vector<VideoScore> videos;
    std::vector<CategoryScore> categories;
    ChangeDetectionMeasures overall;
};

// Scores every video of the dataset against the masks at the same relative
// path under `resultsRoot`. Throws std::runtime_error naming the file or
// directory at fault, and when the dataset has no video at all.
DatasetScore scoreDataset(const std::filesystem::path& datasetRoot,
                          const std::filesystem::path& resultsRoot);
