#pragma once

#include <filesystem>
#include <string>

// Where the files of a sequence directory and of a mask directory live.
std::filesystem::path colourFramePath(const std::filesystem::path& sequence, int frame);
std::filesystem::path depthFramePath(const std::filesystem::path& sequence, int frame);
std::filesystem::path groundTruthPath(const std::filesystem::path& sequence, int frame);
std::filesystem::path maskPath(const std::filesystem::path& maskDirectory, int frame);
std::filesystem::path temporalRangePath(const std::filesystem::path& sequence);
std::filesystem::path regionOfInterestPath(const std::filesystem::path& sequence);
std::filesystem::path backgroundImagePath(const std::filesystem::path& sequence);

// The evaluated frames, first and last included.
struct EvaluatedRange {
    int first = 0;
    int last = 0;
};

// Reads temporalROI.txt; throws std::runtime_error naming the file when it is
// missing or does not start with two integers "from to" with from <= to.
EvaluatedRange readEvaluatedRange(const std::filesystem::path& sequence);
