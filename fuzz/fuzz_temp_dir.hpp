#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A directory of the fuzzer's own under /tmp, made on first use and removed when
// the process exits, for the targets that must go through files.
const std::string& fuzzTempDir();

// Replaces `path` with exactly `size` bytes; aborts when that fails, since a
// silently stale file would fuzz the previous input instead.
void writeFuzzFile(const std::string& path, const uint8_t* data, size_t size);
