#pragma once

#include <cstdint>
#include <filesystem>

#include "sequence_directory.hpp"

// The evaluated frames, first and last included; none when first > last.
// Frame numbers are 64-bit, as DADI-MERO's (ini + K may pass the int range).
struct EvaluatedRange {
    int64_t first = 0;
    int64_t last = 0;

    bool empty() const { return first > last; }
};

// The range of the sequence's temporalROI.txt, read as DADI-MERO reads it;
// throws std::runtime_error naming the file when it is missing, unreadable or
// does not start with two integers "from to". An inverted range is returned as
// it is: it holds no frame.
EvaluatedRange readEvaluatedRange(const std::filesystem::path& sequence);
