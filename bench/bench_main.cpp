// dadi-bench: DADI-MERO against the I/O floor and OpenCV's MOG2 and KNN, on
// the same frames in one run, speed and accuracy. Progress goes to standard
// error.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <utility>

#include "accuracy.hpp"
#include "bench_options.hpp"
#include "bench_results.hpp"
#include "child_process.hpp"
#include "dadi_process.hpp"
#include "io_floor.hpp"
#include "opencv_subtractor.hpp"
#include "plot.hpp"
#include "report.hpp"
#include "stage_breakdown.hpp"
#include "temp_dir.hpp"

namespace {

// A method body that writes its masks into the directory it is given.
using MaskWriter = std::function<void(const std::string& outDir)>;

ChildOutcome runMaskWriterForked(const MaskWriter& body, const std::string& outDir) {
    return runForked([&] {
        body(outDir);
        return std::vector<char>{};
    });
}

void record(MethodResult& result, const ChildOutcome& outcome) {
    std::fprintf(stderr, "  %-26s %s %.2f s, peak %.1f MiB\n", result.name.c_str(),
                 outcome.succeeded ? "ok    " : "FAILED", outcome.wallSeconds,
                 static_cast<double>(outcome.peakRssKb) / 1024.0);
    if (!outcome.succeeded) {
        ++result.failures;
        return;
    }
    result.seconds.push_back(outcome.wallSeconds);
    result.peakRssKb.push_back(outcome.peakRssKb);
}

// The masks of the first successful run are scored; later runs write the same.
void scoreOnce(MethodResult& result, const BenchSequence& layout, const std::string& maskDir) {
    if (!result.scoresMasks() || !hasGroundTruth(layout) || result.seconds.size() != 1) return;
    try {
        result.fMeasure = fMeasureOf(layout, maskDir);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "  %s: cannot score its masks: %s\n", result.name.c_str(),
                     failure.what());
    }
}

// The model is updated in place: colour 3 planes, depth 1, each W*n x H*n floats.
double modelBytes(const BenchSequence& layout, int n, bool depth) {
    const double cells = static_cast<double>(layout.width) * n * layout.height * n;
    const double planes = depth ? 4.0 : 3.0;
    return planes * cells * sizeof(float);
}

struct DadiConfig {
    const char* name;
    bool depth;
    int n;
};

constexpr DadiConfig kDadiConfigs[] = {
    {"DADI-MERO RGB-D n=3", true, 3},
    {"DADI-MERO RGB-D n=5", true, 5},
    {"DADI-MERO colour n=3", false, 3},
    {"DADI-MERO colour n=5", false, 5},
};

// Block sides of the scaling table, run on one thread over the first frames.
constexpr int kScalingSides[] = {1, 3, 5, 9};

std::vector<std::string> dadiOptions(const DadiConfig& config) {
    std::vector<std::string> options{"-n", std::to_string(config.n)};
    if (!config.depth) options.insert(options.end(), {"-DADI", "0"});
    return options;
}

MethodResult method(const std::string& name, MethodKind kind, int64_t frames, int n = 0) {
    MethodResult m;
    m.name = name;
    m.kind = kind;
    m.frames = frames;
    m.n = n;
    return m;
}

BreakdownResult breakdown(const std::string& name, int threads, bool shadowRemoval) {
    BreakdownResult b;
    b.name = name;
    b.settings.threads = threads;
    b.settings.shadowRemoval = shadowRemoval;
    return b;
}

SequenceResult prepareSequence(const std::string& dir) {
    SequenceResult seq;
    seq.layout = readBenchSequence(dir);
    std::fprintf(stderr, "%s: warm-up decode pass\n", seq.layout.dir.c_str());
    const BenchSequence& layout = seq.layout;
    const ChildOutcome warm = runForked([&layout] {
        const cv::Size size = warmUpSequence(layout);
        const int dims[2] = {size.width, size.height};
        std::vector<char> bytes(sizeof dims);
        std::memcpy(bytes.data(), dims, sizeof dims);
        return bytes;
    });
    if (!warm.succeeded || warm.payload.size() != 2 * sizeof(int)) {
        throw std::runtime_error("cannot decode the frames of " + dir);
    }
    int dims[2];
    std::memcpy(dims, warm.payload.data(), sizeof dims);
    seq.layout.width = dims[0];
    seq.layout.height = dims[1];

    const int64_t all = layout.frameCount();
    seq.methods.push_back(method("I/O floor", MethodKind::IoFloor, all));
    seq.methods.push_back(method("I/O floor, colour only", MethodKind::ColourIoFloor, all));
    seq.methods.push_back(method(openCvMethodName(OpenCvMethod::Mog2), MethodKind::Mog2, all));
    seq.methods.push_back(method(openCvMethodName(OpenCvMethod::Knn), MethodKind::Knn, all));
    for (const DadiConfig& config : kDadiConfigs) {
        MethodResult m =
            method(config.name, config.depth ? MethodKind::DadiRgbd : MethodKind::DadiColour,
                   layout.dadiFrameCount(), config.n);
        m.modelBytes = modelBytes(seq.layout, config.n, config.depth);
        seq.methods.push_back(m);
    }
    // "default" leaves the thread count to the library; "-s 0" drops the shadow test.
    seq.breakdowns.push_back(breakdown("default threads", 0, true));
    seq.breakdowns.push_back(breakdown("-threads 1", 1, true));
    seq.breakdowns.push_back(breakdown("-threads 1 -s 0", 1, false));
    // RGB-D on one thread too: what a second thread costs in CPU.
    for (const auto& [depth, threads] :
         {std::pair{true, 0}, std::pair{true, 1}, std::pair{false, 0}}) {
        LiveResult live;
        live.name = depth ? "RGB-D n=3" : "colour n=3";
        live.depth = depth;
        live.threads = threads;
        live.modelBytes = modelBytes(seq.layout, 3, depth);
        seq.live.push_back(live);
    }
    return seq;
}

// One run of every method, in the same order each repeat.
void runOnce(SequenceResult& seq, const std::string& program) {
    const BenchSequence& layout = seq.layout;
    for (MethodResult& m : seq.methods) {
        const TempDir outDir;
        ChildOutcome outcome;
        switch (m.kind) {
            case MethodKind::IoFloor:
            case MethodKind::ColourIoFloor: {
                const bool depth = m.kind == MethodKind::IoFloor;
                outcome = runMaskWriterForked(
                    [&](const std::string& out) { runIoFloor(layout, out, depth); }, outDir.path());
                break;
            }
            case MethodKind::Mog2:
            case MethodKind::Knn: {
                const OpenCvMethod which =
                    m.kind == MethodKind::Mog2 ? OpenCvMethod::Mog2 : OpenCvMethod::Knn;
                outcome = runMaskWriterForked(
                    [&](const std::string& out) { runOpenCvSubtractor(which, layout, out); },
                    outDir.path());
                break;
            }
            case MethodKind::DadiRgbd:
            case MethodKind::DadiColour: {
                const DadiConfig config{m.name.c_str(), m.kind == MethodKind::DadiRgbd, m.n};
                outcome = runDadiProcess(program, layout, dadiOptions(config), outDir.path());
                break;
            }
        }
        record(m, outcome);
        if (outcome.succeeded) scoreOnce(m, layout, outDir.path());
    }
    for (BreakdownResult& b : seq.breakdowns) {
        const StageSample sample = runStageBreakdown(layout, b.settings, b.depth);
        std::fprintf(stderr, "  stages, %-19s %s %.2f s\n", b.name.c_str(),
                     sample.succeeded ? "ok    " : "FAILED",
                     1e-9 * static_cast<double>(sample.wallNanoseconds));
        if (sample.succeeded) {
            b.samples.push_back(sample);
        } else {
            ++b.failures;
        }
    }
    for (LiveResult& live : seq.live) {
        const LiveSample sample = runLive(layout, live.depth, 3, live.threads);
        std::fprintf(stderr, "  live, %-10s threads %d %s online %.2f ms/frame\n",
                     live.name.c_str(), live.threads, sample.succeeded ? "ok    " : "FAILED",
                     sample.onlineWallMs);
        if (sample.succeeded) {
            live.samples.push_back(sample);
        } else {
            ++live.failures;
        }
    }
}

// MOG2's apply CPU on one thread and the library's cost at every block side,
// once per sequence.
void measureCpu(SequenceResult& seq, int scalingFrames) {
    const BenchSequence& layout = seq.layout;
    const ChildOutcome mog2 = runForked([&layout] {
        const double ms = openCvApplyCpuMs(OpenCvMethod::Mog2, layout);
        std::vector<char> bytes(sizeof ms);
        std::memcpy(bytes.data(), &ms, sizeof ms);
        return bytes;
    });
    if (mog2.succeeded && mog2.payload.size() == sizeof(double)) {
        std::memcpy(&seq.mog2ApplyCpuMs, mog2.payload.data(), sizeof(double));
    }
    std::fprintf(stderr, "  MOG2 apply CPU, one thread: %.2f ms/frame\n", seq.mog2ApplyCpuMs);
    for (const int n : kScalingSides) {
        dadimero::Settings settings;
        settings.n = n;
        settings.threads = 1;
        const StageSample sample =
            runStageBreakdown(layout, settings, true, BenchSequence::kFirstFrame + scalingFrames);
        ScalingPoint point{n, sample.frames, 0.0};
        if (sample.succeeded) {
            point.applyCpuMs = BreakdownResult::perFrame(sample.applyCpuNanoseconds, sample.frames);
        }
        std::fprintf(stderr, "  scaling n=%d: %.2f ms/frame over %lld frames\n", n,
                     point.applyCpuMs, static_cast<long long>(point.frames));
        seq.scaling.push_back(point);
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const BenchOptions options = parseBenchOptions(argc, argv);
        if (access(options.program.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "dadi-bench: no executable DADI-MERO at %s (use --program)\n",
                         options.program.c_str());
            return 2;
        }
        BenchReport report;
        report.repeat = options.repeat;
        // The first start loads the libraries from disk; it is not timed.
        for (int r = -1; r < options.repeat; ++r) {
            const TempDir workDir;
            const ChildOutcome start =
                runProgram(options.program, {options.program}, workDir.path());
            if (r < 0) continue;
            if (start.succeeded) report.startupSeconds.push_back(start.wallSeconds);
            report.startupPeakRssKb = std::max(report.startupPeakRssKb, start.peakRssKb);
        }
        for (const std::string& dir : options.sequences) {
            SequenceResult seq = prepareSequence(dir);
            for (int r = 0; r < options.repeat; ++r) {
                std::fprintf(stderr, "%s: run %d of %d\n", seq.layout.dir.c_str(), r + 1,
                             options.repeat);
                runOnce(seq, options.program);
            }
            measureCpu(seq, options.scalingFrames);
            if (!options.plotDir.empty() && hasGroundTruth(seq.layout)) {
                std::filesystem::create_directories(options.plotDir);
                const std::string path = options.plotDir + "/speed_vs_fmeasure_" +
                                         std::to_string(seq.layout.width) + "x" +
                                         std::to_string(seq.layout.height) + ".png";
                if (!drawSpeedAccuracyPlot(seq, path)) {
                    throw std::runtime_error("cannot write " + path);
                }
                std::fprintf(stderr, "  wrote %s\n", path.c_str());
            }
            report.sequences.push_back(std::move(seq));
        }
        report.parentRssKb = ownPeakRssKb();
        if (options.json) {
            printJson(stdout, report);
        } else {
            printTable(stdout, report);
        }
        // A table with failed runs in it must not pass for a good one.
        int failures = 0;
        for (const SequenceResult& seq : report.sequences) {
            for (const MethodResult& m : seq.methods)
                failures += m.failures;
            for (const BreakdownResult& b : seq.breakdowns)
                failures += b.failures;
            for (const LiveResult& live : seq.live)
                failures += live.failures;
            for (const ScalingPoint& p : seq.scaling)
                failures += p.applyCpuMs > 0.0 ? 0 : 1;
        }
        return failures == 0 ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "dadi-bench: %s\n", failure.what());
        return 2;
    }
}
