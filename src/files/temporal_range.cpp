#include "files/temporal_range.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>

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
    // Non-blocking, so that a FIFO under the name cannot stall the open.
    const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        return errno == ENOENT || errno == ENOTDIR ? TemporalRangeStatus::Missing
                                                   : TemporalRangeStatus::Unreadable;
    }
    struct stat status {};
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(file);
        return TemporalRangeStatus::Unreadable;
    }
    // Two integers fit in far fewer bytes; the rest of the file is never read.
    char buffer[4096];
    size_t length = 0;
    while (length < sizeof buffer) {
        const ssize_t got = read(file, buffer + length, sizeof buffer - length);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            close(file);
            return TemporalRangeStatus::Unreadable;
        }
        if (got == 0) break;
        length += static_cast<size_t>(got);
    }
    close(file);
    return parseTemporalRange(std::string_view(buffer, length), range)
               ? TemporalRangeStatus::Read
               : TemporalRangeStatus::Unreadable;
}

}  // namespace dadimero
