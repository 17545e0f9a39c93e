#include "run/run_driver.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

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
#include "run/sequence_files.hpp"
#include "run/temporal_range.hpp"

namespace {

void print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
}

int32_t clampToInt(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Every buffer of a run, allocated zero-filled once, before the loops.
struct RunBuffers {
    PlaneSet framePlanes;
    PlaneSet colourCurrent;
    PlaneSet colourNext;
    LabelMask colourMask;
    std::vector<int> colourBestRow;
    std::vector<int> colourBestCol;
    LabelMask filteredMask;
    std::vector<uint8_t> filterScratch;
    cv::Mat outputImage;

    // With depth only.
    std::vector<float> depthPlane;
    std::vector<float> depthScratch;
    std::vector<float> depthCurrent;
    std::vector<float> depthNext;
    LabelMask depthMask;
    LabelMask fusedMask;
    std::vector<uint8_t> fusionScratch;
    std::vector<int> depthBestRow;
    std::vector<int> depthBestCol;

    // With model snapshots only.
    BytePlaneSet colourSnapshotPlanes;
    cv::Mat depthSnapshotImage;

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

void allocateBuffers(Run& run) {
    const RunParameters& p = run.params;
    const ModelGrid& grid = run.grid;
    RunBuffers& b = run.buffers;
    const bool depth = p.useDepth != 0;
    const bool snapshots = p.saveModels != 0;
    try {
        if (grid.rows() > INT_MAX || grid.cols() > INT_MAX) throw std::bad_alloc();
        const size_t pixels = grid.pixels();
        const size_t cells = grid.cells();
        b.framePlanes = allocFloatPlanes(pixels);
        b.colourCurrent = allocFloatPlanes(cells);
        b.colourNext = allocFloatPlanes(cells);
        b.colourMask.assign(pixels, 0);
        b.colourBestRow.assign(pixels, 0);
        b.colourBestCol.assign(pixels, 0);
        b.filteredMask.assign(pixels, 0);
        b.filterScratch.assign(pixels, 0);
        b.outputImage = cv::Mat::zeros(grid.H, grid.W, CV_8UC1);
        if (depth) {
            b.depthPlane.assign(pixels, 0.0f);
            b.depthScratch.assign(pixels, 0.0f);
            b.depthCurrent.assign(cells, 0.0f);
            b.depthNext.assign(cells, 0.0f);
            b.depthMask.assign(pixels, 0);
            b.fusedMask.assign(pixels, 0);
            b.fusionScratch.assign(pixels, 0);
            b.depthBestRow.assign(pixels, 0);
            b.depthBestCol.assign(pixels, 0);
        }
        if (snapshots) b.colourSnapshotPlanes = allocBytePlanes(cells);
        b.kernel.assign(static_cast<size_t>(p.n) * p.n, 0.0f);
        b.rateMatrix.assign(static_cast<size_t>(p.n) * p.n, 0.0f);
    } catch (const std::bad_alloc&) {
        throw FatalError{EXIT_MISSING_INPUT,
                         formatText("Not enough memory for the background model (%d x %d pixels, "
                                    "n=%d)\n",
                                    grid.W, grid.H, p.n)};
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
            print(formatText("Errore apertura file %s\n", path.c_str()));
            break;
        case WriteResult::WriteFailed:
            print(formatText("Unable to write file %s\n", path.c_str()));
            break;
    }
}

void writeDepthImage(const std::vector<float>& values, cv::Mat& image, const std::string& path) {
    floatPlaneToImage(values, image);
    if (!writePngFile(path, image)) print(formatText("Unable to write file %s\n", path.c_str()));
}

void writeDepthSnapshot(Run& run, int64_t frame) {
    if (run.params.saveModels == 0) return;
    const StageTimer timer(run.times, Stage::Snapshots);
    writeDepthImage(run.buffers.depthCurrent, run.buffers.depthSnapshotImage,
                    numberedName("Dmodel", frame, ".png"));
}

int depthImageType(int bits) {
    return bits == 16 ? CV_16UC1 : CV_8UC1;
}

void initialiseColourModel(Run& run, const cv::Mat& background) {
    RunBuffers& b = run.buffers;
    imageToConePlanes(background, run.roi, b.framePlanes);
    initColourModel(b.colourCurrent, b.framePlanes, run.grid, run.roi);
    copyPlaneSet(b.colourCurrent, run.grid.cells(), b.colourNext);
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
    run.depthBits = computeInitialDepthBackground(load, p.ini, lastInitDepthFrame, run.roi,
                                                  b.depthScratch, b.depthPlane);
    std::vector<float>().swap(b.depthScratch);
    if (p.saveModels != 0) {
        cv::Mat initialImage(run.grid.H, run.grid.W, depthImageType(run.depthBits));
        writeDepthImage(b.depthPlane, initialImage, "DinitImage.png");
    }
    if (run.depthBits < 16) p.e2D = 0.005f;
    if (p.saveModels != 0) {
        b.depthSnapshotImage =
            cv::Mat(static_cast<int>(run.grid.rows()), static_cast<int>(run.grid.cols()),
                    depthImageType(run.depthBits));
    }
    initDepthModel(b.depthCurrent, b.depthPlane, run.grid, run.roi);
    copyFloatGrid(b.depthCurrent, run.grid.cells(), b.depthNext);
    writeDepthSnapshot(run, p.ini);
}

void loadColourFrame(Run& run, int64_t frame) {
    cv::Mat image;
    {
        const StageTimer timer(run.times, Stage::Decode);
        image = run.files.loadColourFrame(frame);
    }
    const StageTimer timer(run.times, Stage::ColourConversion);
    imageToConePlanes(image, run.roi, run.buffers.framePlanes);
}

void loadDepthFrame(Run& run, int64_t frame) {
    cv::Mat image;
    {
        const StageTimer timer(run.times, Stage::Decode);
        image = run.files.loadDepthFrame(frame, "Unable to read expected Depth file %s\n");
    }
    // Turning depth images into samples belongs to the depth stage.
    const StageTimer timer(run.times, Stage::DepthDetection);
    depthImageToPlane(image, run.roi, run.buffers.depthPlane);
}

// Calibration frames ini + 1 .. ini + K - 1 with the falling rate. Returns the
// counter value at which the loop stopped.
int64_t runCalibration(Run& run, float a1, float a2) {
    const RunParameters& p = run.params;
    RunBuffers& b = run.buffers;
    const size_t cells = run.grid.cells();
    int64_t i = 1;
    for (; i < p.K; ++i) {
        loadColourFrame(run, p.ini + i);
        fillRateMatrix(p.n, calibrationRate(a1, a2, i, p.K), b.kernel, b.rateMatrix);
        {
            const StageTimer timer(run.times, Stage::ColourUpdate);
            colourCalibrationPass(b.framePlanes, run.grid, b.colourCurrent, b.colourMask,
                                  b.rateMatrix, p.e1, p, run.roi, b.colourNext);
        }
        {
            const StageTimer timer(run.times, Stage::ModelCopies);
            copyPlaneSet(b.colourNext, cells, b.colourCurrent);
        }
        if (p.useDepth != 0) {
            loadDepthFrame(run, p.ini + i);
            {
                const StageTimer timer(run.times, Stage::DepthUpdate);
                depthCalibrationPass(b.depthPlane, run.grid, b.depthCurrent, b.depthMask,
                                     b.rateMatrix, p.e1D, run.roi, b.depthNext);
            }
            const StageTimer timer(run.times, Stage::ModelCopies);
            copyFloatGrid(b.depthNext, cells, b.depthCurrent);
        }
        if (run.times != nullptr) ++run.times->framesProcessed;
    }
    return i;
}

void filterMask(const Run& run, const LabelMask& input, LabelMask& output,
                std::vector<uint8_t>& scratch) {
    if (run.params.Cw == 5) {
        spatialCoherence5x5(run.grid.H, run.grid.W, input, run.roi, output, scratch);
    } else {
        spatialCoherence3x3(run.grid.H, run.grid.W, input, run.roi, output, scratch);
    }
}

void processOnlineFrame(Run& run, int64_t frame) {
    const RunParameters& p = run.params;
    RunBuffers& b = run.buffers;
    const size_t cells = run.grid.cells();
    const bool depth = p.useDepth != 0;

    loadColourFrame(run, frame);
    {
        const StageTimer timer(run.times, Stage::ColourDetection);
        colourDetectionPass(b.framePlanes, run.grid, b.colourCurrent, p.e2, p, run.roi,
                            b.colourMask, b.colourBestRow, b.colourBestCol);
    }
    if (p.saveMasks != 0) {
        writeMask(run, numberedName("Cbin", frame, ".png"), b.colourMask, b.outputImage);
    }

    const LabelMask* filterInput = &b.colourMask;
    if (depth) {
        loadDepthFrame(run, frame);
        {
            const StageTimer timer(run.times, Stage::DepthDetection);
            depthDetectionPass(b.depthPlane, run.grid, b.depthCurrent, p.e2D, run.roi, b.depthMask,
                               b.depthBestRow, b.depthBestCol);
        }
        if (p.saveMasks != 0) {
            writeMask(run, numberedName("Dbin", frame, ".png"), b.depthMask, b.outputImage);
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
    writeMask(run, numberedName("bin", frame, ".png"), b.filteredMask, b.outputImage);

    {
        const StageTimer timer(run.times, Stage::ColourUpdate);
        colourUpdatePass(b.framePlanes, run.grid, b.colourCurrent, b.filteredMask, b.rateMatrix,
                         b.colourBestRow, b.colourBestCol, run.roi, b.colourNext);
    }
    {
        const StageTimer timer(run.times, Stage::ModelCopies);
        copyPlaneSet(b.colourNext, cells, b.colourCurrent);
    }
    if (depth) {
        {
            const StageTimer timer(run.times, Stage::DepthUpdate);
            depthUpdatePass(b.depthPlane, run.grid, b.depthCurrent, b.depthMask, b.rateMatrix,
                            b.depthBestRow, b.depthBestCol, run.roi, b.depthNext);
        }
        {
            const StageTimer timer(run.times, Stage::ModelCopies);
            copyFloatGrid(b.depthNext, cells, b.depthCurrent);
        }
        writeDepthSnapshot(run, frame);
    }
    writeColourSnapshot(run, b.colourCurrent, frame);
    // The pixels the filter leaves unwritten show the previous frame's fused
    // labels: the next fusion writes into this frame's filtered buffer.
    if (depth) std::swap(b.fusedMask, b.filteredMask);
    if (run.times != nullptr) ++run.times->framesProcessed;
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
    writeColourSnapshot(run, b.colourCurrent, p.ini);
    buildNeighbourhoodKernel(p.n, kernelVariance(p.n), b.kernel);
    const float a1 = baseRate(p.c1, p.n);
    const float a2 = baseRate(p.c2, p.n);

    const int64_t stoppedAt = runCalibration(run, a1, a2);
    const int64_t endOfCalibration = int64_t{p.ini} + stoppedAt - 1;
    writeColourSnapshot(run, b.colourNext, endOfCalibration);
    print(formatText("\nOnline phase on %lld frames (from %lld to %d) ...\n",
                     static_cast<long long>(int64_t{p.end} - p.ini - p.K + 1),
                     static_cast<long long>(int64_t{p.ini} + p.K), p.end));
    fillRateMatrix(p.n, a2, b.kernel, b.rateMatrix);
    if (p.useDepth != 0) writeDepthSnapshot(run, endOfCalibration);

    const int64_t lastCounter = int64_t{p.end} - p.ini;
    for (int64_t i = p.K; i <= lastCounter; ++i)
        processOnlineFrame(run, p.ini + i);
    std::fflush(stdout);
    return 0;
}
