#include "sequence_layout.hpp"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {

std::string numbered(const char* stem, int frame) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%06d.png", stem, frame);
    return name;
}

}  // namespace

std::filesystem::path colourFramePath(const std::filesystem::path& sequence, int frame) {
    return sequence / "input" / numbered("in", frame);
}

std::filesystem::path depthFramePath(const std::filesystem::path& sequence, int frame) {
    return sequence / "depth" / numbered("d", frame);
}

std::filesystem::path groundTruthPath(const std::filesystem::path& sequence, int frame) {
    return sequence / "groundtruth" / numbered("gt", frame);
}

std::filesystem::path maskPath(const std::filesystem::path& maskDirectory, int frame) {
    return maskDirectory / numbered("bin", frame);
}

std::filesystem::path temporalRangePath(const std::filesystem::path& sequence) {
    return sequence / "temporalROI.txt";
}

std::filesystem::path regionOfInterestPath(const std::filesystem::path& sequence) {
    return sequence / "ROI.bmp";
}

std::filesystem::path backgroundImagePath(const std::filesystem::path& sequence) {
    return sequence / "CinitImageL.png";
}

EvaluatedRange readEvaluatedRange(const std::filesystem::path& sequence) {
    const std::filesystem::path path = temporalRangePath(sequence);
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    EvaluatedRange range;
    if (!(file >> range.first >> range.last) || range.first > range.last) {
        throw std::runtime_error(path.string() + " does not hold two frame numbers \"from to\"");
    }
    return range;
}
