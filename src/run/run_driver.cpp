#include "run_driver.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

#include <opencv2/imgcodecs.hpp>

#include "dadimero/dadimero.hpp"
#include "dadimero/internal/program_access.hpp"
#include "dadimero/internal/stage_times.hpp"

#include "image_files.hpp"
#include "ppm_file.hpp"
#include "sequence_layout.hpp"
#include "temporal_range.hpp"
#include "temporary_names.hpp"

#include "fatal_error.hpp"
#include "formatting.hpp"
#include "frame_prefetch.hpp"
#include "paired_depth_reader.hpp"
#include "progress_line.hpp"
#include "sequence_files.hpp"

namespace dadimero {

namespace {

void print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
}

int32_t clampToInt(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// What a run writes its masks and snapshots from, allocated once.
struct RunImages {
    cv::Mat mask;
    cv::Mat colourMask;
    cv::Mat depthMask;
    cv::Mat colourModel;
    cv::Mat depthModel;
};

struct Run {
    RunParameters params;
    SequenceFiles files;
    TemporalRange range;
    cv::Size size;  // of the colour background image, and so of every frame
    RunImages images;
    StageTimes* times = nullptr;
    ProgressLine progress;
};

void resolveFrameRange(Run& run) {
    RunParameters& p = run.params;
    const std::string path = run.files.temporalRangePath();
    switch (readTemporalRange(path, run.range)) {
        case TemporalRangeStatus::Read:
            if (p.end == 0) p.end = run.range.toIdx;
            if (p.K == 0) p.K = clampToInt(int64_t{run.range.fromIdx} - p.ini);
            break;
        case TemporalRangeStatus::Missing:
            if (p.end == 0) p.end = p.ini;
            if (p.K == 0) p.K = 1;
            run.range.toIdx = p.end;
            run.range.fromIdx = clampToInt(int64_t{p.ini} + p.K);
            break;
        case TemporalRangeStatus::Unreadable:
            throw FatalError{
                EXIT_MISSING_INPUT,
                formatText("Unable to read temporal ROI from file %s\n", path.c_str())};
    }
}

cv::Mat loadBackgroundImage(Run& run) {
    const std::string path = run.files.backgroundPath(run.params.backgroundName);
    cv::Mat image = loadImageOfSize(path, cv::IMREAD_COLOR,
                                    "Unable to read estimated color BG image %s. Check value for "
                                    "option \"-nameCE\"\n",
                                    0, 0);
    const int minSide = ProgramAccess::smallestSide(run.params.Cw);
    if (image.cols < minSide || image.rows < minSide) {
        throw FatalError{EXIT_MISSING_INPUT,
                         formatText("Image %s is too small (%dx%d) for the spatial coherence "
                                    "filter\n",
                                    path.c_str(), image.cols, image.rows)};
    }
    run.files.width = image.cols;
    run.files.height = image.rows;
    run.size = image.size();
    return image;
}

void printReport(const Run& run) {
    const RunParameters& p = run.params;
    const char* prefix = run.files.prefix.c_str();
    if (p.useDepth != 0) {
        print(formatText("\nDADI-MERO on sequence %s (using depth data)\n\n\n", prefix));
    } else {
        print(formatText("\nRGB-MERO  on sequence %s (NOT using depth data)\n\n\n", prefix));
    }
    print(formatText("No. of images =            %lld (from %d to %d)\n",
                     static_cast<long long>(int64_t{p.end} - p.ini + 1), p.ini, p.end));
    print(formatText("Image size =               %d x %d\n", run.size.width, run.size.height));
    print(formatText("Frames for calibration:    K=%d\n", p.K));
    print(formatText("Temporal ROI:              [%d,%d]\n", run.range.fromIdx, run.range.toIdx));
    print(formatText("Neighborhood size:         n=%d (%d weight vectors per pixel)\n", p.n,
                     p.n * p.n));
    print(formatText("RGB distance thresholds:   e1 =%.5f (calibration), e2 =%.5f (online)\n",
                     static_cast<double>(p.e1), static_cast<double>(p.e2)));
    if (p.useDepth != 0) {
        print(formatText("Depth distance thresholds: e1D=%.5f (calibration), e2D=%.5f (online)\n",
                         static_cast<double>(p.e1D), static_cast<double>(p.e2D)));
    }
    print(formatText("Learning rates:            c1 =%.5f (calibration), c2 =%.5f (online)\n",
                     static_cast<double>(p.c1), static_cast<double>(p.c2)));
    print(formatText("Shadow removal  (0/1):     %d", p.shadowRemoval));
    if (p.shadowRemoval != 0) {
        print(formatText(" (gamma = %.4f, beta = %.4f, Th_S = %.4f, Th_H = %.4f)\n",
                         static_cast<double>(p.gamma), static_cast<double>(p.beta),
                         static_cast<double>(p.tauS), static_cast<double>(p.tauH)));
    } else {
        print("\n");
    }
    print(formatText("Spatial Coherence:         Cw = %d\n", p.Cw));
    print(formatText("ROI (0/1):                 %d\n", p.useRoi));
    print(formatText("Save all models (0/1):     %d\n", p.saveModels));
    print(formatText("Save all masks  (0/1):     %d\n", p.saveMasks));
}

// The region of interest as an image, or none for every pixel.
cv::Mat loadRegionOfInterest(const Run& run) {
    if (run.params.useRoi == 0) return cv::Mat();
    return run.files.loadRoiImage();
}

[[noreturn]] void failModelAllocation(const Run& run) {
    throw FatalError{
        EXIT_MISSING_INPUT,
        formatText("Not enough memory for the background model (%d x %d pixels, n=%d)\n",
                   run.size.width, run.size.height, run.params.n)};
}

Settings settingsOf(const RunParameters& p) {
    Settings s;
    s.n = p.n;
    s.K = p.K;
    s.e1 = p.e1;
    s.e2 = p.e2;
    s.e1D = p.e1D;
    s.e2D = p.e2D;
    s.c1 = p.c1;
    s.c2 = p.c2;
    s.Cw = p.Cw;
    s.shadowRemoval = p.shadowRemoval != 0;
    s.gamma = p.gamma;
    s.beta = p.beta;
    s.tauS = p.tauS;
    s.tauH = p.tauH;
    s.threads = p.threads;
    return s;
}

// The subtractor holds every model buffer: it is built before any depth frame
// is read, so that a model too large for the memory is reported first. The
// depth model starts empty and takes the initial depth background once built.
// It keeps no copy of the backgrounds, which the run never returns to.
Subtractor makeSubtractor(const Run& run, const cv::Mat& background, const cv::Mat& roi) {
    ProgramOptions options;
    options.settings = settingsOf(run.params);
    options.commandLineRules = true;
    options.keepBackgrounds = false;
    options.times = run.times;
    try {
        const cv::Mat noDepthYet =
            run.params.useDepth != 0 ? cv::Mat::zeros(background.size(), CV_16UC1) : cv::Mat();
        return ProgramAccess::makeSubtractor(options, background, noDepthYet, roi);
    } catch (const std::bad_alloc&) {
        failModelAllocation(run);
    } catch (const ThreadStartError& refused) {
        throw FatalError{EXIT_MISSING_INPUT,
                         formatText("Cannot start %d threads; give -threads a smaller value\n",
                                    refused.threads)};
    } catch (const cv::Exception& failure) {
        if (failure.code == cv::Error::StsNoMem) failModelAllocation(run);
        throw;
    }
}

void writeMask(Run& run, const std::string& path, const cv::Mat& image) {
    const StageTimer timer(run.times, Stage::Encode);
    if (!writePngFile(path, image)) {
        throw FatalError{EXIT_WRITE_FAILED, formatText("Unable to write file %s\n", path.c_str())};
    }
}

void writeColourSnapshot(Run& run, const Subtractor& subtractor, int64_t frame) {
    if (run.params.saveModels == 0) return;
    const StageTimer timer(run.times, Stage::Snapshots);
    subtractor.getColourModelImage(run.images.colourModel);
    const std::string path = numberedName("Cmodel", frame, ".ppm");
    switch (writePpm(run.images.colourModel, path)) {
        case WriteResult::Written:
            break;
        case WriteResult::OpenFailed:
            run.progress.clear();
            print(formatText("Errore apertura file %s\n", path.c_str()));
            break;
        case WriteResult::WriteFailed:
            run.progress.clear();
            print(formatText("Unable to write file %s\n", path.c_str()));
            break;
    }
}

void writeDepthImage(Run& run, const cv::Mat& image, const std::string& path) {
    if (!writePngFile(path, image)) {
        run.progress.clear();
        print(formatText("Unable to write file %s\n", path.c_str()));
    }
}

void writeDepthSnapshot(Run& run, const Subtractor& subtractor, int64_t frame) {
    if (run.params.saveModels == 0) return;
    const StageTimer timer(run.times, Stage::Snapshots);
    subtractor.getDepthModelImage(run.images.depthModel);
    writeDepthImage(run, run.images.depthModel, numberedName("Dmodel", frame, ".png"));
}

// The initial depth background from frames ini .. min(end, 100), then the
// depth model from it.
void initialiseDepthModel(Run& run, Subtractor& subtractor, const cv::Mat& roiImage) {
    RunParameters& p = run.params;
    const int64_t lastInitDepthFrame = std::min<int64_t>(p.end, 100);
    print(formatText("  Depth BG image computed using depths from %d to %lld\n", p.ini,
                     static_cast<long long>(lastInitDepthFrame)));
    InitialDepthBackground initial(roiImage);
    // Decoding is all the work here: with more than one thread, two frames
    // are decoded at a time.
    const bool helper = ProgramAccess::workerThreads(subtractor) > 1;
    PairedDepthReader frames(run.files, p.ini, std::max<int64_t>(p.ini, lastInitDepthFrame),
                             "Unable to read expected file %s\n", helper, run.times);
    frames.forEach([&](const cv::Mat& image) { initial.add(image); });
    if (p.saveModels != 0) {
        writeDepthImage(run, ProgramAccess::initialDepthPicture(initial), "DinitImage.png");
    }
    subtractor.setDepthBackground(initial.result());
    writeDepthSnapshot(run, subtractor, p.ini);
}

// One online frame: the mask and, with -l, the colour and depth masks, then
// the model snapshots.
void processOnlineFrame(Run& run, Subtractor& subtractor, const LoadedFrame& frame) {
    const RunParameters& p = run.params;
    RunImages& images = run.images;
    const int64_t f = frame.frame;
    if (frame.depthError) {
        // The colour mask of a frame does not depend on its depth: it is
        // written, as it would be before the depth frame is read, then the
        // run ends.
        if (p.saveMasks != 0) {
            subtractor.apply(frame.colour, cv::Mat::zeros(frame.colour.size(), CV_16UC1),
                             images.mask);
            subtractor.getColourMask(images.colourMask);
            writeMask(run, numberedName("Cbin", f, ".png"), images.colourMask);
        }
        frame.throwIfDepthFailed();
    }
    subtractor.apply(frame.colour, frame.depth, images.mask);
    if (p.saveMasks != 0) {
        subtractor.getColourMask(images.colourMask);
        writeMask(run, numberedName("Cbin", f, ".png"), images.colourMask);
        if (p.useDepth != 0) {
            subtractor.getDepthMask(images.depthMask);
            writeMask(run, numberedName("Dbin", f, ".png"), images.depthMask);
        }
    }
    writeMask(run, maskName(f), images.mask);
    if (p.useDepth != 0) writeDepthSnapshot(run, subtractor, f);
    writeColourSnapshot(run, subtractor, f);
}

// Everything after the model is built: the depth background, then the
// calibration and online frames.
int runPhases(Run& run, Subtractor& subtractor, const cv::Mat& roiImage) {
    const RunParameters& p = run.params;
    if (p.useDepth != 0) initialiseDepthModel(run, subtractor, roiImage);

    print(formatText("\nCalibration phase on %d frames (from %d to %lld) ...\n", p.K, p.ini,
                     static_cast<long long>(int64_t{p.ini} + p.K - 1)));
    writeColourSnapshot(run, subtractor, p.ini);

    // Calibration frames ini + 1 .. ini + K - 1, then online frames ini + K ..
    // end: one contiguous range of files, read one frame ahead.
    const int64_t K = p.K;
    const int64_t lastCounter = int64_t{p.end} - p.ini;
    const int64_t firstCounter = std::min<int64_t>(K, 1);
    const int64_t finalCounter = std::max(K - 1, lastCounter);
    const bool readAhead = ProgramAccess::workerThreads(subtractor) > 1;
    FramePrefetch frames(run.files, p.useDepth != 0, p.ini + firstCounter, p.ini + finalCounter,
                         readAhead, run.times);

    int64_t i = 1;
    run.progress.begin("calibration", K - 1);
    for (; i < K; ++i) {
        const LoadedFrame& frame = frames.next();
        frame.throwIfColourFailed();
        frame.throwIfDepthFailed();
        subtractor.apply(frame.colour, frame.depth, run.images.mask);
        run.progress.advance(i);
    }
    run.progress.clear();
    const int64_t endOfCalibration = int64_t{p.ini} + i - 1;
    writeColourSnapshot(run, subtractor, endOfCalibration);
    print(formatText("\nOnline phase on %lld frames (from %lld to %d) ...\n",
                     static_cast<long long>(int64_t{p.end} - p.ini - p.K + 1),
                     static_cast<long long>(int64_t{p.ini} + p.K), p.end));
    if (p.useDepth != 0) writeDepthSnapshot(run, subtractor, endOfCalibration);

    run.progress.begin("online", lastCounter - K + 1);
    for (int64_t online = K; online <= lastCounter; ++online) {
        const LoadedFrame& frame = frames.next();
        frame.throwIfColourFailed();
        processOnlineFrame(run, subtractor, frame);
        run.progress.advance(online - K + 1);
    }
    run.progress.clear();
    std::fflush(stdout);
    return 0;
}

}  // namespace

int runDadiMero(ArgumentList args, StageTimes* times) {
    if (args.size() <= 1) {
        print(usageText());
        print("Hit any key to continue...\n");
        return 0;
    }
    // A lone --help, -h or --version; any other first argument is a sequence.
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        print(usageText());
        return 0;
    }
    if (args.size() == 2 && args[1] == "--version") {
        print(versionText());
        return 0;
    }
    Run run;
    run.times = times;
    run.files = SequenceFiles(args[1]);
    run.params = parseRunParameters(args);
    resolveFrameRange(run);
    cv::Mat background = loadBackgroundImage(run);
    printReport(run);
    const cv::Mat roiImage = loadRegionOfInterest(run);

    const RunParameters& p = run.params;
    print("\nInitialization of background model(s)  ...\n");
    removeStaleTemporaryFiles(".");
    Subtractor subtractor = makeSubtractor(run, background, roiImage);
    background.release();
    print(formatText("  Color BG image read from file %s\n", p.backgroundName.c_str()));
    try {
        return runPhases(run, subtractor, roiImage);
    } catch (const std::bad_alloc&) {  // a buffer of the run: the depth background, a mask
        failModelAllocation(run);
    } catch (const cv::Exception& failure) {
        if (failure.code == cv::Error::StsNoMem) failModelAllocation(run);
        throw;
    }
}

}  // namespace dadimero
