#include "support/sequence_fixture.hpp"

#include "files/sequence_layout.hpp"

std::string lastLine(const std::string& text) {
    if (text.empty()) return text;
    const size_t start = text.rfind('\n', text.size() - 2);
    return text.substr(start == std::string::npos ? 0 : start + 1);
}

std::string frameFile(const char* stem, long long frame) {
    return dadimero::numberedName(stem, frame, ".png");
}

std::vector<std::pair<std::string, std::string>> fileContents(const std::filesystem::path& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : listFiles(dir))
        files.emplace_back(name, readText(dir / name));
    return files;
}
