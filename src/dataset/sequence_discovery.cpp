#include "sequence_discovery.hpp"

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "report_formatting.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

bool holdsInput(const fs::path& directory) {
    std::error_code ignored;
    return fs::is_directory(directory / "input", ignored);
}

// `ancestors` holds the real paths of the directories from the root down to
// `directory`: a link back to one of them closes a loop and is not entered.
void collect(const fs::path& root, const fs::path& directory, std::vector<fs::path>& ancestors,
             std::vector<DatasetSequence>& sequences, std::vector<fs::path>& loops) {
    std::vector<fs::path> children;
    std::error_code error;
    fs::directory_iterator it(directory, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->is_directory(ignored) && it->path().filename() != "input") {
            children.push_back(it->path());
        }
    }
    if (error) throw std::runtime_error("cannot list " + displayPath(directory));
    for (const fs::path& child : children) {
        const fs::path real = fs::canonical(child, error);
        if (error) continue;  // vanished, or a link that leads nowhere
        if (std::find(ancestors.begin(), ancestors.end(), real) != ancestors.end()) {
            loops.push_back(child);
            continue;
        }
        if (holdsInput(child)) sequences.push_back({child, child.lexically_relative(root)});
        ancestors.push_back(real);
        collect(root, child, ancestors, sequences, loops);
        ancestors.pop_back();
    }
}

}  // namespace

std::vector<DatasetSequence> findSequences(const fs::path& root, std::vector<fs::path>& loops) {
    std::error_code error;
    if (!fs::is_directory(root, error)) {
        throw std::runtime_error("no dataset directory " + displayPath(root));
    }
    std::vector<DatasetSequence> sequences;
    if (holdsInput(root)) sequences.push_back({root, "."});
    std::vector<fs::path> ancestors = {fs::canonical(root, error)};
    collect(root, root, ancestors, sequences, loops);
    std::sort(sequences.begin(), sequences.end(), [](const auto& a, const auto& b) {
        return a.relative.string() < b.relative.string();
    });
    return sequences;
}

std::string displayPath(const fs::path& path) {
    return visibleText(path.string());
}

}  // namespace dadimero
