#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace dadimero {

// A sequence of a dataset: a directory that holds input/.
struct DatasetSequence {
    std::filesystem::path path;      // absolute, as reached from the root
    std::filesystem::path relative;  // below the root; "." for the root itself
};

// Every sequence under `root` (absolute), the root included, sorted by the
// bytes of their relative paths so that the order never depends on the file
// system. Links to directories are followed, except one that leads back to a
// directory the path already went through (a loop): each such link is named
// in `loops`. input/ folders themselves are not searched. Names may hold any
// byte a file system allows. Throws std::runtime_error naming a directory
// that cannot be listed.
std::vector<DatasetSequence> findSequences(const std::filesystem::path& root,
                                           std::vector<std::filesystem::path>& loops);

// The path for messages: control characters (a newline, a tab) shown as
// escapes (\n, \t, \x1b), so that one name stays on one line.
std::string displayPath(const std::filesystem::path& path);

}  // namespace dadimero
