#include "support/sequence_fixture.hpp"

#include <cstdio>

std::string lastLine(const std::string& text) {
    if (text.empty()) return text;
    const size_t start = text.rfind('\n', text.size() - 2);
    return text.substr(start == std::string::npos ? 0 : start + 1);
}

std::string frameFile(const char* stem, long long frame) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%06lld.png", stem, frame);
    return name;
}

std::vector<std::pair<std::string, std::string>> fileContents(const std::filesystem::path& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : listFiles(dir))
        files.emplace_back(name, readText(dir / name));
    return files;
}
