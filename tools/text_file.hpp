#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Writes each text to its path, all of them or none: every one first under
// the temporary name DADI-MERO uses (".NAME.PID@HOST.dadimero.tmp" beside it),
// and only when all are complete, and the previous files kept, are they renamed
// over their final names; a rename that fails puts the previous files back.
// So a failure (a full disk, a directory or an immutable file in the way) or a
// kill leaves the previous files as they were. A link to a regular file is
// written through. Throws std::runtime_error naming the file that cannot be
// written.
void replaceTextFiles(const std::vector<std::pair<std::filesystem::path, std::string>>& files);
