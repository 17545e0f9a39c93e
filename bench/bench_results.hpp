#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "sequence_layout.hpp"
#include "stage_breakdown.hpp"

// The median of `values` (the mean of the middle two for an even count); 0 when empty.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : 0.5 * (values[mid - 1] + values[mid]);
}

// Every repeat of one end-to-end method on one sequence.
struct MethodResult {
    std::string name;
    int64_t frames = 0;           // frames the method touched
    std::vector<double> seconds;  // wall time of each successful repeat
    std::vector<long> peakRssKb;  // of each successful repeat
    int failures = 0;
    double modelBytes = 0.0;    // DADI-MERO's model buffers; 0 for the others
    bool isDadiRgbdN3 = false;  // the runs the targets are about
    bool isDadiColourN3 = false;

    double msPerFrame() const {
        std::vector<double> perFrame;
        for (double s : seconds)
            perFrame.push_back(1e3 * s / static_cast<double>(frames));
        return median(perFrame);
    }
    // The largest over the repeats, so a memory target is never read off a lucky run.
    long maxPeakRssKb() const {
        return peakRssKb.empty() ? 0 : *std::max_element(peakRssKb.begin(), peakRssKb.end());
    }
};

// Every repeat of one in-process stage-timed configuration.
struct BreakdownResult {
    std::string name;
    dadimero::Settings settings;
    bool depth = true;
    std::vector<StageSample> samples;  // successful repeats only
    int failures = 0;

    // Median over repeats of a stage's milliseconds per processed frame.
    double stageMsPerFrame(size_t stage) const {
        std::vector<double> values;
        for (const StageSample& s : samples)
            values.push_back(1e-6 * static_cast<double>(s.nanoseconds[stage]) /
                             static_cast<double>(std::max<int64_t>(s.frames, 1)));
        return median(values);
    }
    double wallMsPerFrame() const {
        std::vector<double> values;
        for (const StageSample& s : samples)
            values.push_back(1e-6 * static_cast<double>(s.wallNanoseconds) /
                             static_cast<double>(std::max<int64_t>(s.frames, 1)));
        return median(values);
    }
    int64_t frames() const { return samples.empty() ? 0 : samples.front().frames; }
};

struct SequenceResult {
    SequenceLayout layout;
    std::vector<MethodResult> methods;  // the I/O floor first, then MOG2
    std::vector<BreakdownResult> breakdowns;
};
