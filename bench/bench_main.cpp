// dadi-bench: DADI-MERO against the I/O floor and OpenCV's MOG2 and KNN, on
// the same frames in one run. Progress goes to standard error.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>

#include "bench_options.hpp"
#include "bench_results.hpp"
#include "child_process.hpp"
#include "dadi_process.hpp"
#include "io_floor.hpp"
#include "opencv_subtractor.hpp"
#include "report.hpp"
#include "stage_breakdown.hpp"
#include "temp_dir.hpp"

namespace {

// A method body that writes its masks into the directory it is given.
using MaskWriter = std::function<void(const std::string& outDir)>;

ChildOutcome runMaskWriterForked(const MaskWriter& body) {
    const TempDir outDir;
    return runForked([&] {
        body(outDir.path());
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

// The model is updated in place: colour 3 planes, depth 1, each W*n x H*n floats.
double modelBytes(const SequenceLayout& layout, int n, bool depth) {
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

std::vector<std::string> dadiOptions(const DadiConfig& config) {
    std::vector<std::string> options{"-n", std::to_string(config.n)};
    if (!config.depth) options.insert(options.end(), {"-DADI", "0"});
    return options;
}

MethodResult method(const std::string& name, int64_t frames) {
    MethodResult m;
    m.name = name;
    m.frames = frames;
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
    seq.layout = readSequenceLayout(dir);
    std::fprintf(stderr, "%s: warm-up decode pass\n", seq.layout.dir.c_str());
    const SequenceLayout& layout = seq.layout;
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
    seq.methods.push_back(method("I/O floor", all));
    seq.methods.push_back(method(openCvMethodName(OpenCvMethod::Mog2), all));
    seq.methods.push_back(method(openCvMethodName(OpenCvMethod::Knn), all));
    for (const DadiConfig& config : kDadiConfigs) {
        MethodResult m = method(config.name, layout.dadiFrameCount());
        m.modelBytes = modelBytes(seq.layout, config.n, config.depth);
        m.isDadiRgbdN3 = config.depth && config.n == 3;
        m.isDadiColourN3 = !config.depth && config.n == 3;
        seq.methods.push_back(m);
    }
    // "default" leaves the thread count to the library; "-s 0" drops the shadow test.
    seq.breakdowns.push_back(breakdown("default threads", 0, true));
    seq.breakdowns.push_back(breakdown("-threads 1", 1, true));
    seq.breakdowns.push_back(breakdown("-threads 1 -s 0", 1, false));
    return seq;
}

// One run of every method, in the same order each repeat.
void runOnce(SequenceResult& seq, const std::string& program) {
    const SequenceLayout& layout = seq.layout;
    record(seq.methods[0],
           runMaskWriterForked([&](const std::string& out) { runIoFloor(layout, out); }));
    record(seq.methods[1], runMaskWriterForked([&](const std::string& out) {
               runOpenCvSubtractor(OpenCvMethod::Mog2, layout, out);
           }));
    record(seq.methods[2], runMaskWriterForked([&](const std::string& out) {
               runOpenCvSubtractor(OpenCvMethod::Knn, layout, out);
           }));
    for (size_t c = 0; c < std::size(kDadiConfigs); ++c) {
        record(seq.methods[3 + c], runDadiProcess(program, layout, dadiOptions(kDadiConfigs[c])));
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
        }
        return failures == 0 ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "dadi-bench: %s\n", failure.what());
        return 2;
    }
}
