#include "sequence_layout.hpp"

#include <stdexcept>

#include "files/sequence_layout.hpp"
#include "files/temporal_range.hpp"

namespace fs = std::filesystem;

fs::path colourFramePath(const fs::path& sequence, int64_t frame) {
    return sequence / dadimero::colourFrameName(frame);
}

fs::path depthFramePath(const fs::path& sequence, int64_t frame) {
    return sequence / dadimero::depthFrameName(frame);
}

fs::path groundTruthPath(const fs::path& sequence, int64_t frame) {
    return sequence / dadimero::groundTruthName(frame);
}

fs::path maskPath(const fs::path& maskDirectory, int64_t frame) {
    return maskDirectory / dadimero::maskName(frame);
}

fs::path temporalRangePath(const fs::path& sequence) {
    return sequence / dadimero::kTemporalRangeName;
}

fs::path regionOfInterestPath(const fs::path& sequence) {
    return sequence / dadimero::kRegionOfInterestName;
}

fs::path backgroundImagePath(const fs::path& sequence) {
    return sequence / dadimero::kColourBackgroundName;
}

fs::path colourFrameToRead(const fs::path& sequence, int64_t frame) {
    const fs::path png = colourFramePath(sequence, frame);
    std::error_code error;
    if (fs::exists(png, error) || error) return png;
    const fs::path jpeg = sequence / dadimero::colourFrameJpegName(frame);
    return fs::exists(jpeg, error) ? jpeg : png;
}

EvaluatedRange readEvaluatedRange(const fs::path& sequence) {
    const fs::path path = temporalRangePath(sequence);
    dadimero::TemporalRange range;
    switch (dadimero::readTemporalRange(path.string(), range)) {
        case dadimero::TemporalRangeStatus::Missing:
            throw std::runtime_error("cannot read " + path.string());
        case dadimero::TemporalRangeStatus::Unreadable:
            throw std::runtime_error(path.string() +
                                     " does not hold two frame numbers \"from to\"");
        case dadimero::TemporalRangeStatus::Read:
            break;
    }
    return EvaluatedRange{range.fromIdx, range.toIdx};
}
