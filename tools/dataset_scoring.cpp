#include "dataset_scoring.hpp"

#include <stdexcept>

namespace {

std::filesystem::path below(const std::filesystem::path& root,
                            const std::filesystem::path& relative) {
    return relative == "." ? root : root / relative;
}

VideoScore scoreVideo(const std::filesystem::path& datasetRoot,
                      const std::filesystem::path& resultsRoot, const DatasetVideo& video) {
    VideoScore scored{video, VideoOutcome::Scored, "", {}};
    try {
        scored.score = scoreSequence(below(datasetRoot, video.relativePath),
                                     below(resultsRoot, video.relativePath), video.frames);
    } catch (const NothingToScore& nothing) {
        scored.outcome = VideoOutcome::NoFrames;
        scored.leftOutBecause = nothing.what();
    } catch (const std::runtime_error& failure) {
        scored.outcome = VideoOutcome::NotScored;
        scored.leftOutBecause = failure.what();
    }
    return scored;
}

}  // namespace

DatasetScore scoreDataset(const std::filesystem::path& datasetRoot,
                          const std::filesystem::path& resultsRoot,
                          const std::vector<DatasetVideo>& videos) {
    if (videos.empty()) {
        throw std::runtime_error("no video (directory holding groundtruth/) under " +
                                 datasetRoot.string());
    }
    DatasetScore dataset;
    for (const DatasetVideo& video : videos)
        dataset.videos.push_back(scoreVideo(datasetRoot, resultsRoot, video));
    // Videos come grouped by category.
    std::vector<ChangeDetectionMeasures> categoryMeans;
    for (size_t first = 0; first < dataset.videos.size();) {
        const std::string& category = dataset.videos[first].video.category;
        std::vector<ChangeDetectionMeasures> members;
        size_t end = first;
        for (; end < dataset.videos.size() && dataset.videos[end].video.category == category;
             ++end) {
            const VideoScore& member = dataset.videos[end];
            if (member.outcome == VideoOutcome::Scored) members.push_back(member.score.measures);
        }
        if (!members.empty()) {
            dataset.categories.push_back(
                {category, static_cast<int>(members.size()), averageOf(members)});
            categoryMeans.push_back(dataset.categories.back().measures);
        }
        first = end;
    }
    dataset.overall = averageOf(categoryMeans);
    return dataset;
}
