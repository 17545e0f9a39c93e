#pragma once

#include <filesystem>
#include <string>
#include <vector>

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
};

// Every video under `root`, in byte order of their path components, so that a
// category's videos are together and the order never depends on the file
// system. Directories inside a video are not searched; a symbolic link to a
// video counts as one. Throws std::runtime_error naming a directory that
// cannot be listed.
std::vector<DatasetVideo> findDatasetVideos(const std::filesystem::path& root);
