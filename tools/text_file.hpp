#pragma once

#include <filesystem>
#include <string>

// Writes `text` to `path`, replacing it; throws std::runtime_error naming the
// file when it cannot be created or fully written (a full disk included).
void writeTextFile(const std::filesystem::path& path, const std::string& text);
