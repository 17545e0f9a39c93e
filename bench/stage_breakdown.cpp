#include "stage_breakdown.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "dadimero/internal/program_access.hpp"

#include "sequence_layout.hpp"

#include "cpu_time.hpp"

namespace {

using Clock = std::chrono::steady_clock;

int64_t nanosecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

cv::Mat decode(const std::string& path, int flags, dadimero::StageTimes& times) {
    const dadimero::StageTimer timer(&times, dadimero::Stage::Decode);
    cv::Mat image = cv::imread(path, flags);
    if (image.empty()) throw std::runtime_error("cannot decode " + path);
    return image;
}

void measure(const BenchSequence& layout, dadimero::Settings settings, bool depth,
             int64_t lastFrame, StageSample& sample) {
    dadimero::StageTimes times;
    const cv::Mat background = cv::imread(layout.files.background(), cv::IMREAD_COLOR);
    const cv::Mat roi = cv::imread(layout.files.regionOfInterest(), cv::IMREAD_GRAYSCALE);
    cv::Mat depthBackground;
    if (depth) {
        dadimero::StageTimes untimed;
        dadimero::InitialDepthBackground initial(roi);
        const int64_t last = std::min<int64_t>(layout.toIdx, 100);
        for (int64_t f = BenchSequence::kFirstFrame; f <= last; ++f)
            initial.add(decode(layout.depthPath(f), cv::IMREAD_ANYDEPTH, untimed));
        depthBackground = initial.result();
    }
    settings.K = layout.fromIdx - BenchSequence::kFirstFrame;
    const auto start = Clock::now();
    dadimero::ProgramOptions options;
    options.settings = settings;
    options.times = &times;
    dadimero::Subtractor subtractor =
        dadimero::ProgramAccess::makeSubtractor(options, background, depthBackground, roi);
    cv::Mat mask;
    std::vector<uchar> png;
    const int64_t last = lastFrame > 0 ? std::min<int64_t>(lastFrame, layout.toIdx) : layout.toIdx;
    double applyCpu = 0.0;
    for (int64_t f = BenchSequence::kFirstFrame + 1; f <= last; ++f) {
        const cv::Mat colour = decode(layout.colourPath(f), cv::IMREAD_COLOR, times);
        const cv::Mat depthFrame =
            depth ? decode(layout.depthPath(f), cv::IMREAD_ANYDEPTH, times) : cv::Mat();
        const bool online = !subtractor.calibrating();  // the program writes these masks
        const double cpuBefore = processCpuSeconds();
        subtractor.apply(colour, depthFrame, mask);
        applyCpu += processCpuSeconds() - cpuBefore;
        if (!online) continue;
        const dadimero::StageTimer timer(&times, dadimero::Stage::Encode);
        cv::imencode(".png", mask, png);
    }
    sample.wallNanoseconds = nanosecondsSince(start);
    sample.applyCpuNanoseconds = static_cast<int64_t>(applyCpu * 1e9);
    for (size_t s = 0; s < kStageCount; ++s)
        sample.nanoseconds[s] = times.nanoseconds(static_cast<dadimero::Stage>(s));
    sample.frames = times.framesProcessed.load();
    sample.succeeded = true;
}

}  // namespace

StageSample runStageBreakdown(const BenchSequence& layout, dadimero::Settings settings, bool depth,
                              int64_t lastFrame) {
    StageSample sample;
    try {
        measure(layout, settings, depth, lastFrame, sample);
    } catch (const std::exception&) {
        sample.succeeded = false;
    }
    return sample;
}
