#include "dataset/run_record.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <system_error>

#include "files/image_files.hpp"

namespace dadimero {

namespace fs = std::filesystem;

std::optional<std::string> readRecord(const fs::path& folder, const char* name) {
    std::error_code error;
    if (!fs::is_regular_file(folder / name, error)) return std::nullopt;
    std::ifstream file(folder / name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) return std::nullopt;
    return text;
}

void writeRecord(const fs::path& folder, const char* name, const std::string& text) {
    const fs::path path = folder / name;
    errno = 0;
    if (writeFileBytes(path.string(), text.data(), text.size()) != WriteResult::Written) {
        const std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
        throw std::runtime_error("cannot write " + path.string() + reason);
    }
}

void clearRunFolder(const fs::path& folder) {
    static const std::regex kRunOutput(
        "DADI-MERO\\.(status|options|inputs|log)|(bin|Cbin|Dbin|Dmodel)[0-9]+\\.png|"
        "Cmodel[0-9]+\\.ppm|DinitImage\\.png");
    std::error_code error;
    std::vector<fs::path> outputs;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) &&
            std::regex_match(it->path().filename().string(), kRunOutput)) {
            outputs.push_back(it->path());
        }
    }
    if (error) throw std::runtime_error("cannot list " + folder.string() + ": " + error.message());
    for (const fs::path& output : outputs) {
        if (!fs::remove(output, error) && error) {
            throw std::runtime_error("cannot remove " + output.string() + ": " + error.message());
        }
    }
}

}  // namespace dadimero
