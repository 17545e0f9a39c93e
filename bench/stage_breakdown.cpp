#include "stage_breakdown.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "child_process.hpp"
#include "files/image_files.hpp"
#include "run/fatal_error.hpp"
#include "run/run_driver.hpp"
#include "temp_dir.hpp"

namespace {

// What the child sends back: plain integers, copied byte for byte.
struct StagePayload {
    std::array<int64_t, kStageCount> nanoseconds;
    int64_t frames;
    int64_t wallNanoseconds;
};

std::vector<char> measureInChild(const SequenceLayout& layout,
                                 const std::vector<std::string>& options,
                                 const std::string& workDir) {
    if (chdir(workDir.c_str()) != 0) throw std::runtime_error("cannot enter " + workDir);
    // The run's report goes to standard output, which the table needs.
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) throw std::runtime_error("no /dev/null");
    close(null);
    silenceImageLibraryLog();

    ArgumentList args{"DADI-MERO", layout.dir};
    args.insert(args.end(), options.begin(), options.end());
    StageTimes times;
    const auto start = std::chrono::steady_clock::now();
    try {
        if (runDadiMero(args, &times) != 0) throw std::runtime_error("DADI-MERO failed");
    } catch (const FatalError& failure) {
        throw std::runtime_error("DADI-MERO stopped: " + failure.message);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;

    StagePayload payload{};
    for (size_t s = 0; s < kStageCount; ++s)
        payload.nanoseconds[s] = times.nanoseconds[s].load();
    payload.frames = times.framesProcessed.load();
    payload.wallNanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    std::vector<char> bytes(sizeof payload);
    std::memcpy(bytes.data(), &payload, sizeof payload);
    return bytes;
}

}  // namespace

StageSample runStageBreakdown(const SequenceLayout& layout,
                              const std::vector<std::string>& options) {
    const TempDir workDir;
    const ChildOutcome outcome =
        runForked([&] { return measureInChild(layout, options, workDir.path()); });
    StageSample sample;
    sample.peakRssKb = outcome.peakRssKb;
    if (!outcome.succeeded || outcome.payload.size() != sizeof(StagePayload)) return sample;
    StagePayload payload{};
    std::memcpy(&payload, outcome.payload.data(), sizeof payload);
    sample.succeeded = true;
    sample.nanoseconds = payload.nanoseconds;
    sample.frames = payload.frames;
    sample.wallNanoseconds = payload.wallNanoseconds;
    return sample;
}
