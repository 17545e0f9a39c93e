#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "evaluated_range.hpp"

// One video of a dataset laid out as ROOT/category/video: a directory that
// holds groundtruth/.
struct DatasetVideo {
    // The first path component below the root. A video directly under the
    // root, or the root itself, is its own category.
    std::string category;
    // The path below the category ("a/b" when nested deeper); the category's
    // name for a video that is its own category.
    std::string video;
    // Below the root, where its masks are below a results root; "." for the
    // root itself.
    std::filesystem::path relativePath;
    // The frames to score; absent for those of its temporalROI.txt.
    std::optional<EvaluatedRange> frames;
};

// The video at `relative` below `root` ("." for the root itself), with its
// category and name; its frames are those of its temporalROI.txt.
DatasetVideo datasetVideoAt(const std::filesystem::path& root,
                            const std::filesystem::path& relative);

// Every video under `root`, in byte order of their path components, so that a
// category's videos are together and the order never depends on the file
// system. Directories inside a video are not searched. Symbolic links to
// directories are followed, except one leading back to a directory the path
// already went through (a loop). Throws std::runtime_error naming a directory
// that cannot be listed.
std::vector<DatasetVideo> findDatasetVideos(const std::filesystem::path& root);

// The videos named in `list`, one a line "FIRST LAST PATH": the frames to
// score and the video's path relative to `root` ("." for the root itself), in
// the order findDatasetVideos gives. Throws std::runtime_error naming the file
// and line that cannot be read.
std::vector<DatasetVideo> readVideoList(const std::filesystem::path& list,
                                        const std::filesystem::path& root);
