#include "text_file.hpp"

#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <system_error>

#include "temporary_names.hpp"

namespace fs = std::filesystem;

namespace {

// Throws when the file cannot be created or fully written (a full disk).
void writeTextFile(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

// Where the text of `path` goes: `path`, or the regular file a link there
// leads to. Throws when something else is there (a directory, a device, a
// dangling link), which no rename could replace.
fs::path replacedFile(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found) return path;
    if (status.type() == fs::file_type::regular) return path;
    if (status.type() == fs::file_type::symlink && fs::is_regular_file(path, error)) {
        return fs::canonical(path);
    }
    throw std::runtime_error("not a regular file");
}

// One file being replaced: its final name, the new text under a temporary
// name, and the previous file, when there was one, kept under another.
struct Replacement {
    fs::path target;
    fs::path temporary;
    fs::path previous;  // empty: there was no file to keep
    bool replaced = false;
};

// Keeps the file at `target` under `kept`: a second link to it, or where the
// file system has no links, a copy.
bool keepPrevious(const fs::path& target, const fs::path& kept) {
    if (link(target.c_str(), kept.c_str()) == 0) return true;
    std::error_code error;
    fs::copy_file(target, kept, fs::copy_options::overwrite_existing, error);
    return !error;
}

void removeQuietly(const fs::path& path) {
    std::error_code ignored;
    if (!path.empty()) fs::remove(path, ignored);
}

}  // namespace

// Renames are atomic one file at a time, so the files are replaced together
// in effect: every new text is written and every previous file kept before the
// first rename; when a rename fails (an immutable file, a mount point), the
// files already replaced get their previous files back, or are removed where
// there was none. Only a kill between two renames can leave them out of step.
void replaceTextFiles(const std::vector<std::pair<fs::path, std::string>>& files) {
    std::vector<Replacement> replacements;
    auto cleanUp = [&replacements] {
        for (const Replacement& r : replacements) {
            removeQuietly(r.temporary);
            removeQuietly(r.previous);
        }
    };
    for (const auto& [path, text] : files) {
        try {
            Replacement& r = replacements.emplace_back();
            r.target = replacedFile(path);
            r.temporary = dadimero::temporaryNameFor(r.target.string());
            writeTextFile(r.temporary, text);
            std::error_code error;
            if (fs::exists(r.target, error)) {
                r.previous = dadimero::temporaryNameFor(r.target.string() + ".previous");
                if (!keepPrevious(r.target, r.previous)) throw std::runtime_error("no copy");
            }
        } catch (const std::exception&) {
            cleanUp();
            throw std::runtime_error("cannot write " + path.string());
        }
    }
    for (size_t i = 0; i < replacements.size(); ++i) {
        std::error_code error;
        fs::rename(replacements[i].temporary, replacements[i].target, error);
        if (!error) {
            replacements[i].replaced = true;
            continue;
        }
        bool restored = true;
        for (Replacement& r : replacements) {
            if (!r.replaced) continue;
            std::error_code undo;
            if (r.previous.empty()) {
                fs::remove(r.target, undo);
            } else {
                fs::rename(r.previous, r.target, undo);
            }
            // A previous file that could not be put back stays where it was kept.
            restored = restored && !undo;
            r.previous.clear();
        }
        cleanUp();
        throw std::runtime_error(
            "cannot write " + files[i].first.string() +
            (restored ? "" : "; the previous files could not all be restored"));
    }
    cleanUp();
}
