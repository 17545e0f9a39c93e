#include "text_file.hpp"

#include <fstream>
#include <stdexcept>
#include <system_error>

#include "files/temporary_names.hpp"

namespace {

// Throws when the file cannot be created or fully written (a full disk).
void writeTextFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

// Where the text of `path` goes: `path`, or the regular file a link there
// leads to.
std::filesystem::path replacedFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) return path;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw std::runtime_error("not a link to a regular file");
    }
    return std::filesystem::canonical(path);
}

}  // namespace

void replaceTextFiles(const std::vector<std::pair<std::filesystem::path, std::string>>& files) {
    std::vector<std::filesystem::path> targets;
    std::vector<std::filesystem::path> temporaries;
    auto removeTemporaries = [&temporaries] {
        for (const std::filesystem::path& temporary : temporaries) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
        }
    };
    for (const auto& [path, text] : files) {
        try {
            targets.push_back(replacedFile(path));
            temporaries.emplace_back(dadimero::temporaryNameFor(targets.back().string()));
            writeTextFile(temporaries.back(), text);
        } catch (const std::exception&) {
            removeTemporaries();
            throw std::runtime_error("cannot write " + path.string());
        }
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        std::error_code error;
        std::filesystem::rename(temporaries[i], targets[i], error);
        if (error) {
            removeTemporaries();
            throw std::runtime_error("cannot write " + files[i].first.string());
        }
    }
}
