#include "dataset_scoring.hpp"

#include <stdexcept>

namespace {

std::filesystem::path below(const std::filesystem::path& root,
                            const std::filesystem::path& relative) {
    return relative == "." ? root : root / relative;
}

}  // namespace

DatasetScore scoreDataset(const std::filesystem::path& datasetRoot,
                          const std::filesystem::path& resultsRoot) {
    DatasetScore dataset;
    for (const DatasetVideo& video : findDatasetVideos(datasetRoot)) {
        dataset.videos.push_back({video, scoreSequence(below(datasetRoot, video.relativePath),
                                                       below(resultsRoot, video.relativePath))});
    }
    if (dataset.videos.empty()) {
        throw std::runtime_error("no video (directory holding groundtruth/) under " +
                                 datasetRoot.string());
    }
    // Videos come grouped by category.
    std::vector<ChangeDetectionMeasures> categoryMeans;
    for (size_t first = 0; first < dataset.videos.size();) {
        const std::string& category = dataset.videos[first].video.category;
        std::vector<ChangeDetectionMeasures> members;
        size_t end = first;
        for (; end < dataset.videos.size() && dataset.videos[end].video.category == category; ++end)
            members.push_back(dataset.videos[end].score.measures);
        dataset.categories.push_back(
            {category, static_cast<int>(members.size()), averageOf(members)});
        categoryMeans.push_back(dataset.categories.back().measures);
        first = end;
    }
    dataset.overall = averageOf(categoryMeans);
    return dataset;
}
