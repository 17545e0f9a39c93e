#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Writes each text to its path whole or not at all: every one first under the
// temporary name DADI-MERO uses (".NAME.dadimero.tmp" beside it), and only when
// all are complete are they renamed over their final names, so that a failure
// (a full disk) or a kill leaves the previous files as they were. A link to a
// regular file is written through. Throws std::runtime_error naming the file
// that cannot be written.
void replaceTextFiles(const std::vector<std::pair<std::filesystem::path, std::string>>& files);
