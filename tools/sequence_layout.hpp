#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The tools' view of the sequence layout (files/sequence_layout.hpp): paths
// inside a sequence directory and a mask directory.
std::filesystem::path colourFramePath(const std::filesystem::path& sequence, int64_t frame);
std::filesystem::path depthFramePath(const std::filesystem::path& sequence, int64_t frame);
std::filesystem::path groundTruthPath(const std::filesystem::path& sequence, int64_t frame);
std::filesystem::path maskPath(const std::filesystem::path& maskDirectory, int64_t frame);
std::filesystem::path temporalRangePath(const std::filesystem::path& sequence);
std::filesystem::path regionOfInterestPath(const std::filesystem::path& sequence);
std::filesystem::path backgroundImagePath(const std::filesystem::path& sequence);

// The colour frame to read: its PNG or, where no PNG exists, its JPEG, as
// DADI-MERO reads them.
std::filesystem::path colourFrameToRead(const std::filesystem::path& sequence, int64_t frame);

// The evaluated frames, first and last included; none when first > last.
// Frame numbers are 64-bit, as DADI-MERO's (ini + K may pass the int range).
struct EvaluatedRange {
    int64_t first = 0;
    int64_t last = 0;

    bool empty() const { return first > last; }
};

// Reads temporalROI.txt as DADI-MERO does; throws std::runtime_error naming the
// file when it is missing, unreadable or does not start with two integers
// "from to". An inverted range is returned as it is: it holds no frame.
EvaluatedRange readEvaluatedRange(const std::filesystem::path& sequence);
