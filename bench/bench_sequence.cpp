#include "bench_sequence.hpp"

#include <filesystem>
#include <stdexcept>

#include "files/sequence_layout.hpp"
#include "files/temporal_range.hpp"

std::string SequenceLayout::colourPath(int64_t frame) const {
    return dir + "/" + dadimero::colourFrameName(frame);
}

std::string SequenceLayout::depthPath(int64_t frame) const {
    return dir + "/" + dadimero::depthFrameName(frame);
}

SequenceLayout readSequenceLayout(const std::string& dir) {
    SequenceLayout layout;
    // Absolute, because every run works in its own temporary directory.
    layout.dir = std::filesystem::absolute(dir).lexically_normal().string();
    if (layout.dir.ends_with('/')) layout.dir.pop_back();
    dadimero::TemporalRange range;
    const auto status =
        dadimero::readTemporalRange(layout.dir + "/" + dadimero::kTemporalRangeName, range);
    layout.fromIdx = range.fromIdx;
    layout.toIdx = range.toIdx;
    if (status != dadimero::TemporalRangeStatus::Read || layout.toIdx <= layout.fromIdx ||
        layout.fromIdx <= SequenceLayout::kFirstFrame) {
        throw std::runtime_error("no usable temporalROI.txt in " + dir);
    }
    return layout;
}
