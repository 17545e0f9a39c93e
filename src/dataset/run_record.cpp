#include "run_record.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "image_files.hpp"

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

std::string lastLineOf(const fs::path& file) {
    const std::optional<std::string> text = readRecord(file.parent_path(), file.filename().c_str());
    if (!text) return "";
    const size_t end = text->find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    const size_t start = text->find_last_of('\n', end);
    const size_t first = start == std::string::npos ? 0 : start + 1;
    return text->substr(first, end + 1 - first);
}

void writeRecord(const fs::path& folder, const char* name, const std::string& text) {
    const fs::path path = folder / name;
    errno = 0;
    if (writeFileBytes(path.string(), text.data(), text.size()) != WriteResult::Written) {
        const std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
        throw std::runtime_error("cannot write " + path.string() + reason);
    }
}

namespace {

// The files a run of DADI-MERO writes: its record, bin%06d.png, Cbin%06d.png,
// Dbin%06d.png, Dmodel%06d.png, Cmodel%06d.ppm and DinitImage.png.
bool isRunOutput(const std::string& name) {
    for (const char* record : {kOptionsRecord, kInputsRecord, kRunLog, kStatusRecord}) {
        if (name == record) return true;
    }
    if (name == "DinitImage.png") return true;
    const auto numbered = [&name](const std::string& stem, const std::string& extension) {
        if (name.size() <= stem.size() + extension.size() || !name.starts_with(stem) ||
            !name.ends_with(extension)) {
            return false;
        }
        const std::string digits =
            name.substr(stem.size(), name.size() - stem.size() - extension.size());
        return digits.find_first_not_of("0123456789") == std::string::npos;
    };
    return numbered("bin", ".png") || numbered("Cbin", ".png") || numbered("Dbin", ".png") ||
           numbered("Dmodel", ".png") || numbered("Cmodel", ".ppm");
}

}  // namespace

void clearRunFolder(const fs::path& folder) {
    std::error_code error;
    std::vector<fs::path> outputs;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && isRunOutput(it->path().filename().string())) {
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
