#pragma once

#include <cstdint>
#include <string>

#include "sequence_directory.hpp"

// The frames of one sequence directory as DADI-MERO reads them: colour and
// depth frames numbered from 1, calibration before `fromIdx`, masks for
// fromIdx..toIdx. The last frame is toIdx.
struct BenchSequence {
    std::string dir;  // absolute, because every run works in its own temporary directory
    dadimero::SequenceDirectory files{""};
    int32_t fromIdx = 0;
    int32_t toIdx = 0;
    int width = 0;  // known once a frame has been decoded
    int height = 0;

    static constexpr int32_t kFirstFrame = 1;

    int64_t frameCount() const { return int64_t{toIdx} - kFirstFrame + 1; }
    // DADI-MERO works on frames ini + 1 .. end (calibration and online).
    int64_t dadiFrameCount() const { return int64_t{toIdx} - kFirstFrame; }
    std::string colourPath(int64_t frame) const { return files.colourFrameToRead(frame); }
    std::string depthPath(int64_t frame) const { return files.depthFrame(frame); }
};

// Reads temporalROI.txt of `dir`; throws std::runtime_error naming it when it
// is missing or unreadable, or when its range leaves no calibration frame.
BenchSequence readBenchSequence(const std::string& dir);
