#include "dataset_videos.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>
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

}  // namespace

DatasetVideo datasetVideoAt(const std::filesystem::path& root,
                            const std::filesystem::path& relative) {
    if (relative == ".") {
        std::filesystem::path named = std::filesystem::absolute(root).lexically_normal();
        if (named.filename().empty()) named = named.parent_path();  // "dir/" and "."
        const std::string name = named.filename().empty() ? "." : named.filename().string();
        return {name, name, ".", std::nullopt};
    }
    const std::string category = relative.begin()->string();
    const std::filesystem::path below = relative.lexically_relative(category);
    return {category, below == "." ? category : below.generic_string(), relative, std::nullopt};
}

namespace {

// `ancestors` holds the real paths of the directories from the root down to
// `directory`: a link back to one of them is a loop and is not entered.
void collectVideos(const std::filesystem::path& root, const std::filesystem::path& directory,
                   std::vector<std::filesystem::path>& ancestors,
                   std::vector<DatasetVideo>& videos) {
    for (const std::filesystem::directory_entry& entry : sortedSubdirectories(directory)) {
        if (isVideo(entry.path())) {
            videos.push_back(datasetVideoAt(root, entry.path().lexically_relative(root)));
            continue;
        }
        std::error_code error;
        const std::filesystem::path real = std::filesystem::canonical(entry.path(), error);
        if (error || std::find(ancestors.begin(), ancestors.end(), real) != ancestors.end()) {
            continue;
        }
        ancestors.push_back(real);
        collectVideos(root, entry.path(), ancestors, videos);
        ancestors.pop_back();
    }
}

}  // namespace

std::vector<DatasetVideo> findDatasetVideos(const std::filesystem::path& root) {
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
        throw std::runtime_error("no dataset directory " + root.string());
    }
    if (isVideo(root)) return {datasetVideoAt(root, ".")};
    std::vector<std::filesystem::path> ancestors = {std::filesystem::canonical(root, error)};
    std::vector<DatasetVideo> videos;
    collectVideos(root, root, ancestors, videos);
    return videos;
}

std::vector<DatasetVideo> readVideoList(const std::filesystem::path& list,
                                        const std::filesystem::path& root) {
    std::ifstream file(list);
    if (!file) throw std::runtime_error("cannot read " + list.string());
    std::vector<DatasetVideo> videos;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty()) continue;
        std::istringstream fields(line);
        EvaluatedRange frames;
        std::string path;
        fields >> frames.first >> frames.last;
        if (fields && fields.get() == ' ') std::getline(fields, path);
        std::filesystem::path relative = std::filesystem::path(path).lexically_normal();
        if (relative.filename().empty()) relative = relative.parent_path();  // "a/b/"
        if (path.empty() || relative.is_absolute() || *relative.begin() == "..") {
            throw std::runtime_error(list.string() + " line " + std::to_string(number) +
                                     " is not \"FIRST LAST PATH\" with PATH below " +
                                     root.string());
        }
        videos.push_back(datasetVideoAt(root, relative));
        videos.back().frames = frames;
    }
    if (file.bad()) throw std::runtime_error("cannot read " + list.string());
    std::sort(videos.begin(), videos.end(),
              [](const auto& a, const auto& b) { return a.relativePath < b.relativePath; });
    return videos;
}
