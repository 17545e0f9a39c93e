#pragma once

#include <string>
#include <string_view>

namespace dadimero {

// The sequence's temporal range file: two integers, the first and the last
// frame of the range that is evaluated.
struct TemporalRange {
    int fromIdx = 0;
    int toIdx = 0;
};

enum class TemporalRangeStatus { Read, Missing, Unreadable };

// Reads the two leading integers of `text` as scanf's "%d %d" would; values
// beyond the int range clamp. Returns false when the text does not start with
// two integers.
bool parseTemporalRange(std::string_view text, TemporalRange& range);

// Missing: the file does not exist. Unreadable: it exists but is not a regular
// file, cannot be read, or does not start with two integers.
TemporalRangeStatus readTemporalRange(const std::string& path, TemporalRange& range);

}  // namespace dadimero
