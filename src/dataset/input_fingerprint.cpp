#include "input_fingerprint.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <vector>

namespace dadimero {

namespace fs = std::filesystem;

namespace {

// 64-bit FNV-1a: stable across machines and builds, which is all it must be.
struct Fnv1a {
    uint64_t hash = 0xcbf29ce484222325ULL;

    void add(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash ^= bytes[i];
            hash *= 0x100000001b3ULL;
        }
    }
    void add(const std::string& text) { add(text.data(), text.size() + 1); }  // with its NUL
    void add(int64_t value) { add(&value, sizeof value); }
};

// Adds the regular files directly in `folder` (named `prefix` + their name) in
// byte order of their names; an unreadable folder counts as a mark of its own.
void addFolder(const fs::path& folder, const std::string& prefix, Fnv1a& digest, int64_t& files) {
    std::error_code error;
    if (!fs::exists(folder, error)) return;
    std::vector<std::string> names;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    if (error) {
        digest.add("unreadable " + prefix);
        return;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        struct stat status {};
        if (stat((folder / name).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
        digest.add(prefix + name);
        digest.add(int64_t{status.st_size});
        digest.add(int64_t{status.st_mtim.tv_sec});
        digest.add(int64_t{status.st_mtim.tv_nsec});
        ++files;
    }
}

}  // namespace

std::string inputFingerprint(const fs::path& sequence) {
    Fnv1a digest;
    int64_t files = 0;
    addFolder(sequence, "", digest, files);
    addFolder(sequence / "input", "input/", digest, files);
    addFolder(sequence / "depth", "depth/", digest, files);
    char text[64];
    std::snprintf(text, sizeof text, "files %" PRId64 "\ndigest %016" PRIx64 "\n", files,
                  digest.hash);
    return text;
}

}  // namespace dadimero
