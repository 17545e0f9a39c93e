#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "bench_sequence.hpp"
#include "live_run.hpp"
#include "stage_breakdown.hpp"

// The median of `values` (the mean of the middle two for an even count); 0 when empty.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : 0.5 * (values[mid - 1] + values[mid]);
}

inline constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

// What a method is, for the targets and the accuracy columns.
enum class MethodKind { IoFloor, ColourIoFloor, Mog2, Knn, DadiRgbd, DadiColour };

// Every repeat of one end-to-end method on one sequence.
struct MethodResult {
    std::string name;
    MethodKind kind = MethodKind::IoFloor;
    int n = 0;                    // DADI-MERO's block side; 0 for the others
    int64_t frames = 0;           // frames the method touched
    std::vector<double> seconds;  // wall time of each successful repeat
    std::vector<long> peakRssKb;  // of each successful repeat
    int failures = 0;
    double modelBytes = 0.0;       // DADI-MERO's model buffers; 0 for the others
    double fMeasure = kUndefined;  // of its masks, where the sequence has ground truth

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
    bool scoresMasks() const {
        return kind != MethodKind::IoFloor && kind != MethodKind::ColourIoFloor;
    }
};

// Every repeat of one in-process stage-timed configuration.
struct BreakdownResult {
    std::string name;
    dadimero::Settings settings;
    bool depth = true;
    std::vector<StageSample> samples;  // successful repeats only
    int failures = 0;

    static double perFrame(int64_t nanoseconds, int64_t frames) {
        return 1e-6 * static_cast<double>(nanoseconds) /
               static_cast<double>(std::max<int64_t>(frames, 1));
    }
    // Median over repeats of a stage's milliseconds per processed frame.
    double stageMsPerFrame(size_t stage) const {
        std::vector<double> values;
        for (const StageSample& s : samples)
            values.push_back(perFrame(s.nanoseconds[stage], s.frames));
        return median(values);
    }
    double wallMsPerFrame() const {
        std::vector<double> values;
        for (const StageSample& s : samples)
            values.push_back(perFrame(s.wallNanoseconds, s.frames));
        return median(values);
    }
    // CPU of every thread while apply() ran: the algorithm without decoding
    // and encoding.
    double applyCpuMsPerFrame() const {
        std::vector<double> values;
        for (const StageSample& s : samples)
            values.push_back(perFrame(s.applyCpuNanoseconds, s.frames));
        return median(values);
    }
    int64_t frames() const { return samples.empty() ? 0 : samples.front().frames; }
};

// Every repeat of the live run (see runLive) of one configuration, n = 3.
struct LiveResult {
    std::string name;
    bool depth = true;
    int threads = 0;  // 0: the library's default
    double modelBytes = 0.0;
    std::vector<LiveSample> samples;  // successful repeats only
    int failures = 0;

    // The median over the repeats of one field.
    double medianOf(double LiveSample::*field) const {
        std::vector<double> values;
        for (const LiveSample& s : samples)
            values.push_back(s.*field);
        return median(values);
    }
};

// The library on one thread with block side n, RGB-D, on the first frames.
struct ScalingPoint {
    int n = 0;
    int64_t frames = 0;
    double applyCpuMs = 0.0;  // per frame; 0 when the run failed
};

struct SequenceResult {
    BenchSequence layout;
    std::vector<MethodResult> methods;
    std::vector<BreakdownResult> breakdowns;  // the default threads first
    std::vector<LiveResult> live;             // RGB-D first
    double mog2ApplyCpuMs = 0.0;              // MOG2's apply alone, one thread
    std::vector<ScalingPoint> scaling;

    const MethodResult* find(MethodKind kind, int n = 0) const {
        for (const MethodResult& m : methods)
            if (m.kind == kind && m.n == n && !m.seconds.empty()) return &m;
        return nullptr;
    }
    double pixels() const { return static_cast<double>(layout.width) * layout.height; }
};
