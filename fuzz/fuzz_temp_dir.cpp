#include "fuzz_temp_dir.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace {

std::string makeTempDir() {
    std::string pattern = "/tmp/dadi-mero-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

void removeTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(fuzzTempDir(), ignored);
}

}  // namespace

const std::string& fuzzTempDir() {
    // Never destroyed: the exit handler that removes the directory still needs it.
    static const std::string* const dir = [] {
        const auto* made = new std::string(makeTempDir());
        std::atexit(removeTempDir);
        return made;
    }();
    return *dir;
}

void writeFuzzFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
}
