#include "temporal_range.hpp"

#include <algorithm>
#include <cctype>
#include <climits>

#include "file_access.hpp"

namespace dadimero {

namespace {

// One "%d" conversion: white space, an optional sign, at least one digit.
bool scanInteger(std::string_view text, size_t& pos, int& value) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos]))) return false;
    long long magnitude = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        if (magnitude <= LLONG_MAX / 10) magnitude = magnitude * 10 + (text[pos] - '0');
        ++pos;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    value = signedValue > INT_MAX   ? INT_MAX
            : signedValue < INT_MIN ? INT_MIN
                                    : static_cast<int>(signedValue);
    return true;
}

}  // namespace

bool parseTemporalRange(std::string_view text, TemporalRange& range) {
    size_t pos = 0;
    TemporalRange parsed;
    if (!scanInteger(text, pos, parsed.fromIdx) || !scanInteger(text, pos, parsed.toIdx)) {
        return false;
    }
    range = parsed;
    return true;
}

TemporalRangeStatus readTemporalRange(const std::string& path, TemporalRange& range) {
    std::string text;
    try {
        InputFile file(path, "the temporal range");
        // Two integers fit in far fewer bytes; the rest of the file is never read.
        text.resize(4096);
        text.resize(static_cast<size_t>(
            std::max<std::streamsize>(file.buffer().sgetn(text.data(), 4096), 0)));
        file.throwIfFailed();
    } catch (const FileFailure& failure) {
        return failure.missing() ? TemporalRangeStatus::Missing : TemporalRangeStatus::Unreadable;
    }
    return parseTemporalRange(text, range) ? TemporalRangeStatus::Read
                                           : TemporalRangeStatus::Unreadable;
}

}  // namespace dadimero
