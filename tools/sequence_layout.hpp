#pragma once

#include <filesystem>
#include <string>

// The tools' view of the sequence layout (files/sequence_layout.hpp): paths
// inside a sequence directory and a mask directory.
std::filesystem::path colourFramePath(const std::filesystem::path& sequence, int frame);
std::filesystem::path depthFramePath(const std::filesystem::path& sequence, int frame);
std::filesystem::path groundTruthPath(const std::filesystem::path& sequence, int frame);
std::filesystem::path maskPath(const std::filesystem::path& maskDirectory, int frame);
std::filesystem::path temporalRangePath(const std::filesystem::path& sequence);
std::filesystem::path regionOfInterestPath(const std::filesystem::path& sequence);
std::filesystem::path backgroundImagePath(const std::filesystem::path& sequence);

// The colour frame to read: its PNG or, where no PNG exists, its JPEG, as
// DADI-MERO reads them.
std::filesystem::path colourFrameToRead(const std::filesystem::path& sequence, int frame);

// The evaluated frames, first and last included; none when first > last.
struct EvaluatedRange {
    int first = 0;
    int last = 0;

    bool empty() const { return first > last; }
};

// Reads temporalROI.txt as DADI-MERO does; throws std::runtime_error naming the
// file when it is missing, unreadable or does not start with two integers
// "from to". An inverted range is returned as it is: it holds no frame.
EvaluatedRange readEvaluatedRange(const std::filesystem::path& sequence);
