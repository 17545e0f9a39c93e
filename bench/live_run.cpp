#include "live_run.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "dadimero/dadimero.hpp"

#include "sequence_layout.hpp"

#include "child_process.hpp"
#include "cpu_time.hpp"

namespace {

using Clock = std::chrono::steady_clock;

cv::Mat decode(const std::string& path, int flags) {
    cv::Mat image = cv::imread(path, flags);
    if (image.empty()) throw std::runtime_error("cannot decode " + path);
    return image;
}

// Resident memory now, and the peak so far, in KiB (from /proc/self/status).
long statusKb(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return 0;
    char line[256];
    long kb = 0;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, length) == 0) kb = std::atol(line + length);
    }
    std::fclose(status);
    return kb;
}

LiveSample measure(const BenchSequence& layout, bool depth, int n, int threads) {
    const cv::Mat background = decode(layout.files.background(), cv::IMREAD_COLOR);
    const cv::Mat roi = cv::imread(layout.files.regionOfInterest(), cv::IMREAD_GRAYSCALE);
    std::vector<cv::Mat> colours;
    std::vector<cv::Mat> depths;
    for (int64_t f = BenchSequence::kFirstFrame; f <= layout.toIdx; ++f) {
        colours.push_back(decode(layout.colourPath(f), cv::IMREAD_COLOR));
        if (depth) depths.push_back(decode(layout.depthPath(f), cv::IMREAD_ANYDEPTH));
    }
    cv::Mat depthBackground;
    if (depth) {
        const size_t first = static_cast<size_t>(std::min<int64_t>(layout.toIdx, 100));
        const std::vector<cv::Mat> initial(depths.begin(), depths.begin() + first);
        depthBackground = dadimero::initialDepthBackground(initial, roi);
    }
    dadimero::Settings settings;
    settings.n = n;
    settings.threads = threads;
    settings.K = layout.fromIdx - BenchSequence::kFirstFrame;
    const long before = statusKb("VmRSS:");
    dadimero::Subtractor subtractor(settings, background, depthBackground, roi);
    cv::Mat mask;
    double wall[2] = {0.0, 0.0};
    double cpu[2] = {0.0, 0.0};
    int64_t frames[2] = {0, 0};
    for (size_t i = 1; i < colours.size(); ++i) {
        const int phase = subtractor.calibrating() ? 0 : 1;
        const double cpuBefore = processCpuSeconds();
        const auto start = Clock::now();
        subtractor.apply(colours[i], depth ? depths[i] : cv::Mat(), mask);
        wall[phase] += std::chrono::duration<double>(Clock::now() - start).count();
        cpu[phase] += processCpuSeconds() - cpuBefore;
        ++frames[phase];
    }
    auto perFrame = [&](const double* seconds, int phase) {
        return frames[phase] > 0 ? 1e3 * seconds[phase] / static_cast<double>(frames[phase]) : 0.0;
    };
    LiveSample sample;
    sample.calibrationWallMs = perFrame(wall, 0);
    sample.calibrationCpuMs = perFrame(cpu, 0);
    sample.onlineWallMs = perFrame(wall, 1);
    sample.onlineCpuMs = perFrame(cpu, 1);
    sample.heldMiB = static_cast<double>(statusKb("VmHWM:") - before) / 1024.0;
    sample.succeeded = frames[1] > 0;
    return sample;
}

}  // namespace

LiveSample runLive(const BenchSequence& layout, bool depth, int n, int threads) {
    const ChildOutcome outcome = runForked([&] {
        const LiveSample sample = measure(layout, depth, n, threads);
        std::vector<char> bytes(sizeof sample);
        std::memcpy(bytes.data(), &sample, sizeof sample);
        return bytes;
    });
    LiveSample sample;
    if (outcome.succeeded && outcome.payload.size() == sizeof sample) {
        std::memcpy(&sample, outcome.payload.data(), sizeof sample);
    }
    return sample;
}
