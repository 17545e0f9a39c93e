#include "dataset_videos.hpp"

#include <algorithm>
#include <stdexcept>
#include <system_error>

namespace {

bool isVideo(const std::filesystem::path& directory) {
    std::error_code ignored;
    return std::filesystem::is_directory(directory / "groundtruth", ignored);
}

std::vector<std::filesystem::directory_entry> sortedSubdirectories(
    const std::filesystem::path& directory) {
    std::vector<std::filesystem::directory_entry> entries;
    std::error_code error;
    std::filesystem::directory_iterator it(directory, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->is_directory(ignored)) entries.push_back(*it);
    }
    if (error) throw std::runtime_error("cannot list " + directory.string());
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename().string() < b.path().filename().string();
    });
    return entries;
}

void collectVideos(const std::filesystem::path& root, const std::filesystem::path& directory,
                   std::vector<DatasetVideo>& videos) {
    for (const std::filesystem::directory_entry& entry : sortedSubdirectories(directory)) {
        std::error_code ignored;
        if (isVideo(entry.path())) {
            const std::filesystem::path relative = entry.path().lexically_relative(root);
            const std::string category = relative.begin()->string();
            const std::filesystem::path below = relative.lexically_relative(category);
            videos.push_back(
                {category, below == "." ? category : below.generic_string(), relative});
        } else if (!entry.is_symlink(ignored)) {
            // Links are followed only to videos: a link loop must not make the
            // search endless.
            collectVideos(root, entry.path(), videos);
        }
    }
}

}  // namespace

std::vector<DatasetVideo> findDatasetVideos(const std::filesystem::path& root) {
    std::error_code ignored;
    if (!std::filesystem::is_directory(root, ignored)) {
        throw std::runtime_error("no dataset directory " + root.string());
    }
    std::vector<DatasetVideo> videos;
    if (isVideo(root)) {
        std::filesystem::path named = std::filesystem::absolute(root).lexically_normal();
        if (named.filename().empty()) named = named.parent_path();  // "dir/" and "."
        const std::string name = named.filename().empty() ? "." : named.filename().string();
        videos.push_back({name, name, "."});
        return videos;
    }
    collectVideos(root, root, videos);
    return videos;
}
