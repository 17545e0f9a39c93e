#include "run/run_driver.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <optional>

#include <opencv2/imgcodecs.hpp>

#include "colour/colour_model.hpp"
#include "colour/cone_planes.hpp"
#include "colour/neighbourhood_kernel.hpp"
#include "depth/depth_model.hpp"
#include "depth/depth_samples.hpp"
#include "depth/initial_depth_background.hpp"
#include "imageio/image_exchange.hpp"
#include "imageio/image_files.hpp"
#include "imageio/model_snapshots.hpp"
#include "masks/mask_fusion.hpp"
#include "masks/spatial_coherence.hpp"
#include "run/fatal_error.hpp"
#include "run/formatting.hpp"
#include "run/frame_prefetch.hpp"
#include "run/progress_line.hpp"
#include "run/sequence_files.hpp"
#include "run/temporal_range.hpp"
#include "run/worker_pool.hpp"

namespace {

void print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
}

int32_t clampToInt(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Every buffer of a run, allocated zero-filled once, before the loops.
struct RunBuffers {
    PlaneSet backgroundPlanes;  // cone coordinates of the colour background image
    PlaneSet colourModel;
    LabelMask colourMask;
    LabelMask colourMaskAfter;  // calibration: this frame's labels beside last frame's
    std::vector<int> colourBestRow;
    std::vector<int> colourBestCol;
    std::vector<uint8_t> colourAction;
    LabelMask filteredMask;
    std::vector<uint8_t> filterScratch;
    cv::Mat outputImage;

    // With depth only.
    std::vector<float> depthModel;
    LabelMask depthMask;
    LabelMask depthMaskAfter;
    std::vector<int> depthBestRow;
    std::vector<int> depthBestCol;
    std::vector<uint8_t> depthAction;
    LabelMask fusedMask;
    std::vector<uint8_t> fusionScratch;

    // With model snapshots only.
    BytePlaneSet colourSnapshotPlanes;
    cv::Mat depthSnapshotImage;

    // Per band of rows: working space of the update passes.
    std::vector<UpdateScratch> colourScratch;
    std::vector<UpdateScratch> depthScratch;
    std::vector<MatchScratch> matchScratch;

    NeighbourhoodKernel kernel;
    RateMatrix rateMatrix;
};

struct Run {
    RunParameters params;
    SequenceFiles files;
    TemporalRange range;
    RegionOfInterest roi;
    ModelGrid grid;
    RunBuffers buffers;
    int depthBits = 0;
    StageTimes* times = nullptr;
    WorkerPool* pool = nullptr;
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
    cv::Mat image = readImage(path, cv::IMREAD_COLOR);
    if (image.empty()) {
        throw FatalError{EXIT_MISSING_INPUT,
                         formatText("Unable to read estimated color BG image %s. Check value for "
                                    "option \"-nameCE\"\n",
                                    path.c_str())};
    }
    const int minSide = run.params.Cw == 5 ? kMinSide5x5 : kMinSide3x3;
    if (image.cols < minSide || image.rows < minSide) {
        throw FatalError{EXIT_MISSING_INPUT,
                         formatText("Image %s is too small (%dx%d) for the spatial coherence "
                                    "filter\n",
                                    path.c_str(), image.cols, image.rows)};
    }
    run.files.width = image.cols;
    run.files.height = image.rows;
    run.grid = ModelGrid{image.cols, image.rows, run.params.n};
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
    print(formatText("Image size =               %d x %d\n", run.grid.W, run.grid.H));
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

void loadRegionOfInterest(Run& run) {
    const size_t pixels = run.grid.pixels();
    if (run.params.useRoi == 0) {
        run.roi = wholeImageRegion(pixels);
        return;
    }
    const cv::Mat image = run.files.loadRoiImage();
    std::vector<uint8_t> mask(pixels, 0);
    imageToBytes(image, mask);
    run.roi = makeRegionOfInterest(std::move(mask), run.grid.W);
}

[[noreturn]] void failModelAllocation(const Run& run) {
    throw FatalError{
        EXIT_MISSING_INPUT,
        formatText("Not enough memory for the background model (%d x %d pixels, n=%d)\n",
                   run.grid.W, run.grid.H, run.params.n)};
}

void allocateBuffers(Run& run) {
    const RunParameters& p = run.params;
    const ModelGrid& grid = run.grid;
    RunBuffers& b = run.buffers;
    try {
        if (grid.rows() > INT_MAX || grid.cols() > INT_MAX) throw std::bad_alloc();
        const size_t pixels = grid.pixels();
        const size_t cells = grid.cells();
        b.backgroundPlanes = allocFloatPlanes(pixels);
        b.colourModel = allocFloatPlanes(cells);
        b.colourMask.assign(pixels, 0);
        b.colourMaskAfter.assign(pixels, 0);
        b.colourBestRow.assign(pixels, 0);
        b.colourBestCol.assign(pixels, 0);
        b.colourAction.assign(pixels, ACTION_NONE);
        b.filteredMask.assign(pixels, 0);
        b.filterScratch.assign(pixels, 0);
        b.outputImage = cv::Mat::zeros(grid.H, grid.W, CV_8UC1);
        if (p.useDepth != 0) {
            b.depthModel.assign(cells, 0.0f);
            b.depthMask.assign(pixels, 0);
            b.depthMaskAfter.assign(pixels, 0);
            b.depthBestRow.assign(pixels, 0);
            b.depthBestCol.assign(pixels, 0);
            b.depthAction.assign(pixels, ACTION_NONE);
            b.fusedMask.assign(pixels, 0);
            b.fusionScratch.assign(pixels, 0);
        }
        if (p.saveModels != 0) b.colourSnapshotPlanes = allocBytePlanes(cells);
        b.kernel.assign(static_cast<size_t>(p.n) * p.n, 0.0f);
        b.rateMatrix.assign(static_cast<size_t>(p.n) * p.n, 0.0f);
    } catch (const std::bad_alloc&) {
        failModelAllocation(run);
    } catch (const cv::Exception&) {  // OpenCV's own out-of-memory error
        failModelAllocation(run);
    }
}

void writeMask(Run& run, const std::string& path, const LabelMask& mask, cv::Mat& image) {
    const StageTimer timer(run.times, Stage::Encode);
    maskToImage(mask, image);
    if (!writePngFile(path, image)) {
        throw FatalError{EXIT_WRITE_FAILED, formatText("Unable to write file %s\n", path.c_str())};
    }
}

void writeColourSnapshot(Run& run, const PlaneSet& model, int64_t frame) {
    if (run.params.saveModels == 0) return;
    const StageTimer timer(run.times, Stage::Snapshots);
    RunBuffers& b = run.buffers;
    colourModelToRgbPlanes(model, run.grid.cells(), b.colourSnapshotPlanes);
    const std::string path = numberedName("Cmodel", frame, ".ppm");
    const auto rows = static_cast<int>(run.grid.rows());
    const auto cols = static_cast<int>(run.grid.cols());
    switch (writePpm(rows, cols, b.colourSnapshotPlanes, path)) {
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

void writeDepthImage(Run& run, const std::vector<float>& values, cv::Mat& image,
                     const std::string& path) {
    floatPlaneToImage(values, image);
    if (!writePngFile(path, image)) {
        run.progress.clear();
        print(formatText("Unable to write file %s\n", path.c_str()));
    }
}

void writeDepthSnapshot(Run& run, int64_t frame) {
    if (run.params.saveModels == 0) return;
    const StageTimer timer(run.times, Stage::Snapshots);
    writeDepthImage(run, run.buffers.depthModel, run.buffers.depthSnapshotImage,
                    numberedName("Dmodel", frame, ".png"));
}

int depthImageType(int bits) {
    return bits == 16 ? CV_16UC1 : CV_8UC1;
}

void initialiseColourModel(Run& run, const cv::Mat& background) {
    RunBuffers& b = run.buffers;
    imageToConePlanes(background, run.roi, b.backgroundPlanes);
    initColourModel(b.colourModel, b.backgroundPlanes, run.grid, run.roi);
    b.backgroundPlanes = PlaneSet();
    print(formatText("  Color BG image read from file %s\n", run.params.backgroundName.c_str()));
}

void initialiseDepthModel(Run& run) {
    RunParameters& p = run.params;
    RunBuffers& b = run.buffers;
    const int64_t lastInitDepthFrame = std::min<int64_t>(p.end, 100);
    print(formatText("  Depth BG image computed using depths from %d to %lld\n", p.ini,
                     static_cast<long long>(lastInitDepthFrame)));
    const SequenceFiles& files = run.files;
    const DepthFrameLoader load = [&files](int64_t frame) {
        return files.loadDepthFrame(frame, "Unable to read expected file %s\n");
    };
    std::vector<float> initialBackground(run.grid.pixels(), 0.0f);
    {
        std::vector<float> scratch(run.grid.pixels(), 0.0f);
        run.depthBits = computeInitialDepthBackground(load, p.ini, lastInitDepthFrame, run.roi,
                                                      scratch, initialBackground);
    }
    if (p.saveModels != 0) {
        cv::Mat initialImage(run.grid.H, run.grid.W, depthImageType(run.depthBits));
        writeDepthImage(run, initialBackground, initialImage, "DinitImage.png");
    }
    if (run.depthBits < 16) p.e2D = 0.005f;
    if (p.saveModels != 0) {
        b.depthSnapshotImage =
            cv::Mat(static_cast<int>(run.grid.rows()), static_cast<int>(run.grid.cols()),
                    depthImageType(run.depthBits));
    }
    initDepthModel(b.depthModel, initialBackground, run.grid, run.roi);
    writeDepthSnapshot(run, p.ini);
}

// Runs body(begin, end) over bands of the image rows on the run's threads.
template <typename Body>
void forEachRowBand(Run& run, Body&& body) {
    run.pool->forEachBand(run.grid.H, body);
}

template <typename Scratch>
Scratch& scratchOf(std::vector<Scratch>& scratch, int worker) {
    return scratch[static_cast<size_t>(worker)];
}

// One calibration frame: label it against the models as they stand, then let
// every matched pixel update them.
void calibrateOnFrame(Run& run, const LoadedFrame& frame) {
    const RunParameters& p = run.params;
    RunBuffers& b = run.buffers;
    {
        const StageTimer timer(run.times, Stage::ColourUpdate);
        forEachRowBand(run, [&](int worker, int begin, int end) {
            colourCalibrationMatchRows(frame.framePlanes, run.grid, b.colourModel, p.e1, p, run.roi,
                                       begin, end, b.colourMask, b.colourMaskAfter, b.colourAction,
                                       b.colourBestRow, b.colourBestCol,
                                       scratchOf(b.matchScratch, worker));
        });
        const UpdateWriters writers{b.colourAction.data(), b.colourMask.data(),
                                    b.colourMaskAfter.data()};
        forEachRowBand(run, [&](int worker, int begin, int end) {
            colourUpdateRows(frame.framePlanes, run.grid, b.colourModel, b.rateMatrix,
                             b.colourBestRow, b.colourBestCol, writers, begin, end,
                             scratchOf(b.colourScratch, worker));
        });
        std::swap(b.colourMask, b.colourMaskAfter);
    }
    if (p.useDepth == 0) return;
    frame.throwIfDepthFailed();
    const StageTimer timer(run.times, Stage::DepthUpdate);
    forEachRowBand(run, [&](int, int begin, int end) {
        depthCalibrationMatchRows(frame.depthPlane, run.grid, b.depthModel, p.e1D, run.roi, begin,
                                  end, b.depthMask, b.depthMaskAfter, b.depthAction, b.depthBestRow,
                                  b.depthBestCol);
    });
    const UpdateWriters writers{b.depthAction.data(), b.depthMask.data(), b.depthMaskAfter.data()};
    forEachRowBand(run, [&](int worker, int begin, int end) {
        depthUpdateRows(frame.depthPlane, run.grid, b.depthModel, b.rateMatrix, b.depthBestRow,
                        b.depthBestCol, writers, begin, end, scratchOf(b.depthScratch, worker));
    });
    std::swap(b.depthMask, b.depthMaskAfter);
}

void filterMask(const Run& run, const LabelMask& input, LabelMask& output,
                std::vector<uint8_t>& scratch) {
    if (run.params.Cw == 5) {
        spatialCoherence5x5(run.grid.H, run.grid.W, input, run.roi, output, scratch);
    } else {
        spatialCoherence3x3(run.grid.H, run.grid.W, input, run.roi, output, scratch);
    }
}

// One online frame: labels, fusion, filter, the mask file, then learning.
void processOnlineFrame(Run& run, const LoadedFrame& frame) {
    const RunParameters& p = run.params;
    RunBuffers& b = run.buffers;
    const bool depth = p.useDepth != 0;
    const int64_t f = frame.frame;
    {
        const StageTimer timer(run.times, Stage::ColourDetection);
        forEachRowBand(run, [&](int worker, int begin, int end) {
            colourMatchRows(frame.framePlanes, run.grid, b.colourModel, p.e2, p, run.roi, begin,
                            end, b.colourMask, b.colourBestRow, b.colourBestCol,
                            scratchOf(b.matchScratch, worker));
        });
    }
    if (p.saveMasks != 0) {
        writeMask(run, numberedName("Cbin", f, ".png"), b.colourMask, b.outputImage);
    }

    const LabelMask* filterInput = &b.colourMask;
    if (depth) {
        frame.throwIfDepthFailed();
        {
            const StageTimer timer(run.times, Stage::DepthDetection);
            forEachRowBand(run, [&](int, int begin, int end) {
                depthMatchRows(frame.depthPlane, run.grid, b.depthModel, p.e2D, run.roi, begin, end,
                               b.depthMask, b.depthBestRow, b.depthBestCol);
            });
        }
        if (p.saveMasks != 0) {
            writeMask(run, numberedName("Dbin", f, ".png"), b.depthMask, b.outputImage);
        }
        const StageTimer timer(run.times, Stage::Fusion);
        fuseColourAndDepth(b.colourMask, b.depthMask, run.grid.W, run.grid.H, b.fusedMask,
                           b.fusionScratch);
        filterInput = &b.fusedMask;
    }
    {
        const StageTimer timer(run.times, Stage::Filter);
        filterMask(run, *filterInput, b.filteredMask, b.filterScratch);
    }
    writeMask(run, numberedName("bin", f, ".png"), b.filteredMask, b.outputImage);

    // The colour model learns where the final mask says background, the depth
    // model where depth alone did.
    {
        const StageTimer timer(run.times, Stage::ColourUpdate);
        forEachRowBand(run, [&](int, int begin, int end) {
            colourOnlineActionRows(b.filteredMask, run.roi, run.grid.W, begin, end, b.colourAction);
            if (depth) {
                depthOnlineActionRows(b.depthMask, run.roi, run.grid.W, begin, end, b.depthAction);
            }
        });
        const UpdateWriters colourWriters{b.colourAction.data(), b.filteredMask.data(),
                                          b.filteredMask.data()};
        const UpdateWriters depthWriters{b.depthAction.data(), b.depthMask.data(),
                                         b.depthMask.data()};
        forEachRowBand(run, [&](int worker, int begin, int end) {
            colourUpdateRows(frame.framePlanes, run.grid, b.colourModel, b.rateMatrix,
                             b.colourBestRow, b.colourBestCol, colourWriters, begin, end,
                             scratchOf(b.colourScratch, worker));
            if (depth) {
                depthUpdateRows(frame.depthPlane, run.grid, b.depthModel, b.rateMatrix,
                                b.depthBestRow, b.depthBestCol, depthWriters, begin, end,
                                scratchOf(b.depthScratch, worker));
            }
        });
    }
    if (depth) writeDepthSnapshot(run, f);
    writeColourSnapshot(run, b.colourModel, f);
    // The pixels the filter leaves unwritten show the previous frame's fused
    // labels: the next fusion writes into this frame's filtered buffer.
    if (depth) std::swap(b.fusedMask, b.filteredMask);
}

}  // namespace

int runDadiMero(ArgumentList args, StageTimes* times) {
    if (args.size() <= 1) {
        print(usageText());
        print("Hit any key to continue...\n");
        return 0;
    }
    Run run;
    run.times = times;
    run.files.prefix = args[1] + "/";
    run.params = parseRunParameters(args);
    resolveFrameRange(run);
    cv::Mat background = loadBackgroundImage(run);
    printReport(run);
    loadRegionOfInterest(run);

    const RunParameters& p = run.params;
    RunBuffers& b = run.buffers;
    print("\nInitialization of background model(s)  ...\n");
    allocateBuffers(run);
    initialiseColourModel(run, background);
    background.release();
    if (p.useDepth != 0) initialiseDepthModel(run);

    print(formatText("\nCalibration phase on %d frames (from %d to %lld) ...\n", p.K, p.ini,
                     static_cast<long long>(int64_t{p.ini} + p.K - 1)));
    writeColourSnapshot(run, b.colourModel, p.ini);
    buildNeighbourhoodKernel(p.n, kernelVariance(p.n), b.kernel);
    const float a1 = baseRate(p.c1, p.n);
    const float a2 = baseRate(p.c2, p.n);

    const int threads = resolveThreadCount(p.threads);
    WorkerPool pool(threads);
    run.pool = &pool;
    // Calibration frames ini + 1 .. ini + K - 1, then online frames ini + K ..
    // end: one contiguous range of files, read one frame ahead.
    const int64_t K = p.K;
    const int64_t lastCounter = int64_t{p.end} - p.ini;
    const int64_t firstCounter = std::min<int64_t>(K, 1);
    const int64_t finalCounter = std::max(K - 1, lastCounter);
    std::optional<FramePrefetch> frames;
    try {
        const auto bands = static_cast<size_t>(pool.size());
        b.colourScratch.assign(bands, colourUpdateScratch(run.grid));
        if (p.useDepth != 0) b.depthScratch.assign(bands, depthUpdateScratch(run.grid));
        b.matchScratch.assign(bands, colourMatchScratch(run.grid));
        frames.emplace(run.files, run.roi, p.useDepth != 0, p.ini + firstCounter,
                       p.ini + finalCounter, threads > 1, run.times);
    } catch (const std::bad_alloc&) {
        failModelAllocation(run);
    }

    int64_t i = 1;
    run.progress.begin("calibration", K - 1);
    for (; i < K; ++i) {
        const LoadedFrame& frame = frames->next();
        frame.throwIfColourFailed();
        fillRateMatrix(p.n, calibrationRate(a1, a2, i, K), b.kernel, b.rateMatrix);
        calibrateOnFrame(run, frame);
        if (run.times != nullptr) ++run.times->framesProcessed;
        run.progress.advance(i);
    }
    run.progress.clear();
    const int64_t endOfCalibration = int64_t{p.ini} + i - 1;
    writeColourSnapshot(run, b.colourModel, endOfCalibration);
    print(formatText("\nOnline phase on %lld frames (from %lld to %d) ...\n",
                     static_cast<long long>(int64_t{p.end} - p.ini - p.K + 1),
                     static_cast<long long>(int64_t{p.ini} + p.K), p.end));
    fillRateMatrix(p.n, a2, b.kernel, b.rateMatrix);
    if (p.useDepth != 0) writeDepthSnapshot(run, endOfCalibration);

    run.progress.begin("online", lastCounter - K + 1);
    for (int64_t online = K; online <= lastCounter; ++online) {
        const LoadedFrame& frame = frames->next();
        frame.throwIfColourFailed();
        processOnlineFrame(run, frame);
        if (run.times != nullptr) ++run.times->framesProcessed;
        run.progress.advance(online - K + 1);
    }
    run.progress.clear();
    std::fflush(stdout);
    return 0;
}
