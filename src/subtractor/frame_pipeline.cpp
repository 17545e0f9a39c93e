#include "subtractor/frame_pipeline.hpp"

#include <algorithm>
#include <climits>
#include <new>
#include <string>
#include <system_error>

#include "dadimero/internal/stage_times.hpp"
#include "depth/depth_samples.hpp"
#include "images/image_exchange.hpp"
#include "masks/mask_fusion.hpp"
#include "masks/spatial_coherence.hpp"
#include "subtractor/input_checks.hpp"
#include "subtractor/public_errors.hpp"
#include "subtractor/shadow_value.hpp"

namespace dadimero {

namespace {

void requireBackground(const Settings& settings, const cv::Mat& background, const char* what) {
    requireColourImage(background, background.size(), what);
    requireFilterSize(settings.Cw, background.size(), what);
}

[[noreturn]] void failMemory(const ModelGrid& grid) {
    fail(cv::Error::StsNoMem, "not enough memory for the background model (" +
                                  std::to_string(grid.W) + " x " + std::to_string(grid.H) +
                                  " pixels, n=" + std::to_string(grid.n) + ")");
}

// The worker threads for Settings::threads over the grid: 0 follows OpenCV's
// own count (cv::setNumThreads), like OpenCV's parallel loops; never more than
// the frame's rows can use.
int workerCount(int threads, const ModelGrid& grid) {
    return threadsForRows(threads > 0 ? threads : std::max(cv::getNumThreads(), 1), grid.H);
}

// The online depth threshold: 8-bit depth is matched within 0.005 whatever
// e2D says.
float onlineDepthThreshold(const Settings& settings, int depthBits) {
    return depthBits < 16 ? 0.005f : settings.e2D;
}

}  // namespace

FramePipeline::FramePipeline(const Settings& s, const ModelGrid& g, RegionOfInterest region,
                             bool withDepth)
    : settings(s),
      grid(g),
      roi(std::move(region)),
      shadow{s.gamma, s.beta, s.tauS, s.tauH},
      pool(workerCount(s.threads, g)),
      colour(g, pool.size()),
      framePlanes(allocFloatPlanes(g.pixels())),
      coneCaches(static_cast<size_t>(pool.size()), ConeCache(g.pixels())),
      filteredMask(g.pixels(), 0),
      filterScratch(g.pixels(), 0),
      kernel(static_cast<size_t>(s.n) * s.n, 0.0f),
      rateMatrix(static_cast<size_t>(s.n) * s.n, 0.0f),
      a1(baseRate(s.c1, s.n)),
      a2(baseRate(s.c2, s.n)) {
    if (withDepth) {
        depth.emplace(g, pool.size());
        depthPlane.assign(g.pixels(), 0.0f);
        fusedMask.assign(g.pixels(), 0);
        fusionScratch.assign(g.pixels(), 0);
    }
    buildNeighbourhoodKernel(s.n, kernelVariance(s.n), kernel);
}

auto FramePipeline::allocate(const Settings& settings, const cv::Mat& roiImage, cv::Size size,
                             bool withDepth) -> std::unique_ptr<FramePipeline> {
    const ModelGrid grid{size.width, size.height, settings.n};
    RegionOfInterest region = regionOfInterest(roiImage, size);
    try {
        if (grid.rows() > INT_MAX || grid.cols() > INT_MAX) throw std::bad_alloc();
        return std::make_unique<FramePipeline>(settings, grid, std::move(region), withDepth);
    } catch (const std::bad_alloc&) {
        failMemory(grid);
    } catch (const std::system_error& refused) {  // a thread the system would not start
        failThreadStart(workerCount(settings.threads, grid), refused.code().message());
    }
}

auto FramePipeline::build(const Settings& settings, const cv::Mat& roiImage,
                          const cv::Mat& background, const cv::Mat& depthBackground,
                          const char* what) -> std::unique_ptr<FramePipeline> {
    requireBackground(settings, background, what);
    const bool withDepth = !depthBackground.empty();
    if (withDepth) requireDepthImage(depthBackground, background.size(), "the depth background");
    std::unique_ptr<FramePipeline> model =
        allocate(settings, roiImage, background.size(), withDepth);
    FramePipeline& pipeline = *model;
    // The colour model starts as the background everywhere inside the region.
    imageToConePlanes(background, pipeline.roi, pipeline.framePlanes);
    initColourModel(pipeline.colour, pipeline.framePlanes, pipeline.roi);
    if (withDepth) pipeline.setDepthBackground(depthBackground);
    return model;
}

void FramePipeline::setDepthBackground(const cv::Mat& background) {
    requireDepthImage(background, cv::Size(grid.W, grid.H), "the depth background");
    depthBits = background.depth() == CV_16U ? 16 : 8;
    e2D = onlineDepthThreshold(settings, depthBits);
    DepthModel& model = *depth;
    std::fill(model.weights.begin(), model.weights.end(), 0.0f);
    std::fill(model.labels.begin(), model.labels.end(), 0);
    std::fill(model.labelsAfter.begin(), model.labelsAfter.end(), 0);
    depthImageToPlane(background, roi, depthPlane);
    initDepthModel(model, depthPlane, roi);
}

void FramePipeline::useSettings(const Settings& s) {
    settings = s;
    shadow = ShadowThresholds{s.gamma, s.beta, s.tauS, s.tauH};
    a1 = baseRate(s.c1, s.n);
    a2 = baseRate(s.c2, s.n);
    if (depth) e2D = onlineDepthThreshold(s, depthBits);
}

void FramePipeline::backgroundMask(cv::OutputArray fgmask) const {
    fgmask.create(grid.H, grid.W, CV_8UC1);
    fgmask.getMat().setTo(cv::Scalar::all(0));
}

void FramePipeline::checkFrames(const cv::Mat& colourFrame, const cv::Mat& depthFrame) const {
    const cv::Size size(grid.W, grid.H);
    requireColourImage(colourFrame, size, "the colour frame");
    if (depth) {
        if (depthFrame.empty()) {
            failInput("this subtractor uses depth: give the depth frame with the colour frame");
        }
        requireDepthImage(depthFrame, size, "the depth frame");
    } else if (!depthFrame.empty()) {
        failInput("a depth frame was given to a subtractor without depth");
    }
}

void FramePipeline::apply(const cv::Mat& colourFrame, const cv::Mat& depthFrame,
                          cv::OutputArray fgmask, double learningRate) {
    checkFrames(colourFrame, depthFrame);
    const int64_t frame = framesSeen + 1;
    const Learning learning = learningOf(learningRate, frame);
    convertFrame(colourFrame, depthFrame);
    if (frame < settings.K) {
        calibrate(learning);
        backgroundMask(fgmask);
    } else {
        processOnline(learning, fgmask);
        if (settings.shadowValue != 0) {
            cv::Mat mask = fgmask.getMat();
            markShadows(colour.labels, settings.shadowValue, mask);
        }
    }
    framesSeen = frame;
    if (times != nullptr) ++times->framesProcessed;
}

void FramePipeline::convertFrame(const cv::Mat& colourFrame, const cv::Mat& depthFrame) {
    forEachRowBand([&](int worker, int begin, int end) {
        {
            const StageTimer timer(times, Stage::ColourConversion, worker);
            imageRowsToConePlanes(colourFrame, roi, framePlanes,
                                  coneCaches[static_cast<size_t>(worker)], begin, end);
        }
        if (depth) {
            const StageTimer timer(times, Stage::DepthDetection, worker);
            depthRowsToPlane(depthFrame, roi, depthPlane, begin, end);
        }
    });
}

Learning FramePipeline::learningOf(double learningRate, int64_t frame) const {
    // A rate of 1 restarts the models before this (see Subtractor::applyFrame).
    if (learningRate == 0.0) return {false, 0.0f};
    if (learningRate > 0.0) return {true, baseRate(static_cast<float>(learningRate), settings.n)};
    return {true, frame < settings.K ? calibrationRate(a1, a2, frame, settings.K) : a2};
}

void FramePipeline::useRate(float rate) {
    if (rateInMatrix && *rateInMatrix == rate) return;
    fillRateMatrix(settings.n, rate, kernel, rateMatrix);
    rateInMatrix = rate;
}

// One step of both models' update passes over the cells of rows [ownedBegin,
// ownedEnd): the writers of row `writerRow` (see runUpdatePass).
void FramePipeline::learnWriterRow(const UpdateWriters& colourWriters,
                                   const UpdateWriters& depthWriters, int worker, int ownedBegin,
                                   int ownedEnd, int writerRow) {
    {
        const StageTimer timer(times, Stage::ColourUpdate, worker);
        colourUpdateWriterRows(framePlanes, colour, rateMatrix, colourWriters, ownedBegin, ownedEnd,
                               writerRow, writerRow + 1, worker);
    }
    if (!depth) return;
    const StageTimer timer(times, Stage::DepthUpdate, worker);
    depthUpdateWriterRows(depthPlane, *depth, rateMatrix, depthWriters, ownedBegin, ownedEnd,
                          writerRow, writerRow + 1, worker);
}

// One calibration frame: label it against the models as they stand, then let
// every matched pixel update them.
void FramePipeline::calibrate(const Learning& learning) {
    if (learning.learns) useRate(learning.rate);
    auto matchRows = [&](int worker, int begin, int end) {
        if (begin >= end) return;
        {
            const StageTimer timer(times, Stage::ColourUpdate, worker);
            colourCalibrationMatchRows(framePlanes, colour, settings.e1, shadowTest(), roi, begin,
                                       end, worker);
        }
        if (!depth) return;
        const StageTimer timer(times, Stage::DepthUpdate, worker);
        depthCalibrationMatchRows(depthPlane, *depth, settings.e1D, roi, begin, end, worker);
    };
    // The windows of a band's writers reach one row beyond the band: every
    // band first matches its first and last rows, so that the others find
    // them, then matches the rows between and learns one row behind, while
    // the rows are still in cache: the writers of a row read the matches of
    // the rows their windows reach, one on each side.
    forEachRowBand([&](int worker, int begin, int end) {
        matchRows(worker, begin, begin + 1);
        if (end - 1 > begin) matchRows(worker, end - 1, end);
    });
    const UpdateWriters colourWriters{colour.action.data(), colour.labels.data(),
                                      colour.labelsAfter.data()};
    const UpdateWriters depthWriters =
        depth ? UpdateWriters{depth->action.data(), depth->labels.data(), depth->labelsAfter.data()}
              : UpdateWriters{};
    forEachRowBand([&](int worker, int begin, int end) {
        if (begin >= end) return;
        for (int row = begin; row <= end + 1; ++row) {
            if (row > begin && row < end - 1) matchRows(worker, row, row + 1);
            const int writerRow = row - 1;
            if (learning.learns && writerRow >= begin - 1 && writerRow <= end) {
                learnWriterRow(colourWriters, depthWriters, worker, begin, end, writerRow);
            }
        }
    });
    std::swap(colour.labels, colour.labelsAfter);
    if (depth) std::swap(depth->labels, depth->labelsAfter);
}

namespace {

// The rows within `edge` of a band's ends, and the rows between them.
template <typename Visit>
void visitBandEdges(int begin, int end, int edge, Visit&& visit) {
    const int top = std::min(begin + edge, end);
    for (int r = begin; r < top; ++r)
        visit(r);
    for (int r = std::max(end - edge, top); r < end; ++r)
        visit(r);
}

bool inBandMiddle(int row, int begin, int end, int edge) {
    return row >= begin + edge && row < end - edge;
}

}  // namespace

// One online frame: labels, fusion, filter, the mask, then learning. Each step
// reads rows around the one it makes: the fusion's border 3 rows of matched
// labels on each side, the filter 2 rows of fused labels, and a writer of the
// models the filtered labels of the rows its window reaches, one on each
// side. So each band runs its rows through all the steps in one sweep, each
// step a few rows behind the one it reads, and learns from rows it has just
// matched, while they are in cache. Only the rows near the ends of the bands,
// which other bands read, are made beforehand.
void FramePipeline::processOnline(const Learning& learning, cv::OutputArray fgmask) {
    const int window = settings.Cw == 5 ? 5 : 3;
    const LabelMask& filterInput = depth ? fusedMask : colour.labels;
    fgmask.create(grid.H, grid.W, CV_8UC1);
    cv::Mat mask = fgmask.getMat();
    if (learning.learns) useRate(learning.rate);

    auto match = [&](int worker, int row) {
        {
            const StageTimer timer(times, Stage::ColourDetection, worker);
            colourMatchRows(framePlanes, colour, settings.e2, shadowTest(), roi, row, row + 1,
                            worker);
        }
        if (!depth) return;
        {
            const StageTimer timer(times, Stage::DepthDetection, worker);
            depthMatchRows(depthPlane, *depth, e2D, roi, row, row + 1, worker);
        }
        const StageTimer timer(times, Stage::Fusion, worker);
        fuseFirstStageRows(colour.labels, depth->labels, grid.W, row, row + 1, fusedMask,
                           fusionScratch);
    };
    auto border = [&](int worker, int row) {  // reads the matches of rows row - 3 .. row + 3
        if (depth) {
            const StageTimer timer(times, Stage::Fusion, worker);
            fuseBorderRows(colour.labels, grid.W, grid.H, row, row + 1, fusedMask, fusionScratch);
        }
        const StageTimer timer(times, Stage::Filter, worker);
        coherenceRowCounts(grid.W, window, filterInput, row, row + 1, filterScratch);
    };
    auto filter = [&](int worker, int row) {  // reads the borders of rows row - 2 .. row + 2
        {
            const StageTimer timer(times, Stage::Filter, worker);
            coherenceRows(grid.H, grid.W, window, filterInput, roi, filteredMask, filterScratch,
                          row, row + 1);
            maskRowsToImage(filteredMask, mask, row, row + 1);
        }
        if (!learning.learns) return;
        const StageTimer timer(times, Stage::ColourUpdate, worker);
        colourOnlineActionRows(colour, filteredMask, roi, row, row + 1);
        if (depth) depthOnlineActionRows(*depth, roi, row, row + 1);
    };
    // The colour model learns where the final mask says background, the depth
    // model where depth alone did. A writer of row w reads the filtered labels
    // of rows w - 1 .. w + 1.
    const UpdateWriters colourWriters{colour.action.data(), filteredMask.data(),
                                      filteredMask.data()};
    const UpdateWriters depthWriters =
        depth ? UpdateWriters{depth->action.data(), depth->labels.data(), depth->labels.data()}
              : UpdateWriters{};

    // How far each step runs behind the matching, and how many rows at each
    // end of a band every step makes before the sweeps, for the bands beside
    // it: the filter of a band's first row reads borders 2 rows up, which
    // read matches 3 rows further; the writers of the row above the band read
    // the filter one row further up.
    constexpr int kBorderLag = 3;
    constexpr int kFilterLag = kBorderLag + 2;
    constexpr int kLearnLag = kFilterLag + 1;
    constexpr int kFilterEdge = 2;
    constexpr int kBorderEdge = kFilterEdge + 2;
    constexpr int kMatchEdge = kBorderEdge + 3;
    forEachRowBand([&](int worker, int begin, int end) {
        visitBandEdges(begin, end, kMatchEdge, [&](int row) { match(worker, row); });
    });
    forEachRowBand([&](int worker, int begin, int end) {
        visitBandEdges(begin, end, kBorderEdge, [&](int row) { border(worker, row); });
    });
    forEachRowBand([&](int worker, int begin, int end) {
        visitBandEdges(begin, end, kFilterEdge, [&](int row) { filter(worker, row); });
    });
    forEachRowBand([&](int worker, int begin, int end) {
        if (begin >= end) return;
        for (int row = begin; row <= end + kLearnLag; ++row) {
            if (inBandMiddle(row, begin, end, kMatchEdge)) match(worker, row);
            if (inBandMiddle(row - kBorderLag, begin, end, kBorderEdge))
                border(worker, row - kBorderLag);
            if (inBandMiddle(row - kFilterLag, begin, end, kFilterEdge))
                filter(worker, row - kFilterLag);
            // The writers of the rows just above and below the band reach into it.
            const int writerRow = row - kLearnLag;
            if (learning.learns && writerRow >= begin - 1 && writerRow <= end) {
                learnWriterRow(colourWriters, depthWriters, worker, begin, end, writerRow);
            }
        }
    });
    haveOnlineFrame = true;
    // The pixels the filter leaves unwritten show the previous frame's fused
    // labels: the next fusion writes into this frame's filtered buffer.
    if (depth) std::swap(fusedMask, filteredMask);
}

}  // namespace dadimero
