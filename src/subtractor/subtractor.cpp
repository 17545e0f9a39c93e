#include <algorithm>
#include <climits>
#include <cmath>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>

#include "colour/colour_model.hpp"
#include "colour/cone_planes.hpp"
#include "colour/neighbourhood_kernel.hpp"
#include "dadimero/dadimero.hpp"
#include "depth/depth_model.hpp"
#include "depth/depth_samples.hpp"
#include "images/image_exchange.hpp"
#include "images/model_images.hpp"
#include "masks/mask_fusion.hpp"
#include "masks/spatial_coherence.hpp"
#include "subtractor/input_checks.hpp"
#include "subtractor/public_errors.hpp"
#include "subtractor/settings_checks.hpp"
#include "subtractor/shadow_value.hpp"
#include "subtractor/stage_times.hpp"
#include "subtractor/subtractor_state.hpp"
#include "threads/worker_pool.hpp"

namespace dadimero {

namespace {

// Throws unless an image of `size` is large enough for the filter of `Cw`.
void requireFilterSize(int Cw, cv::Size size, const char* what) {
    const int minSide = Cw == 5 ? kMinSide5x5 : kMinSide3x3;
    if (size.width < minSide || size.height < minSide) {
        failInput(std::string(what) + " is " + std::to_string(size.width) + "x" +
                  std::to_string(size.height) + ", smaller than the " + std::to_string(minSide) +
                  "x" + std::to_string(minSide) + " the spatial filter needs");
    }
}

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

// The mask of a frame that is not detected: all background.
void backgroundMask(const ModelGrid& grid, cv::OutputArray fgmask) {
    fgmask.create(grid.H, grid.W, CV_8UC1);
    fgmask.getMat().setTo(cv::Scalar::all(0));
}

// The learning of one frame: whether the models learn, and at which rate.
struct Learning {
    bool learns;
    float rate;
};

}  // namespace

struct Subtractor::Impl {
    Impl(const Settings& s, const ModelGrid& g, RegionOfInterest region, bool withDepth)
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

    const ShadowThresholds* shadowTest() const {
        return settings.shadowRemoval ? &shadow : nullptr;
    }
    bool calibrating() const { return framesSeen + 1 < settings.K; }

    template <typename Body>
    void forEachRowBand(Body&& body) {
        pool.forEachBand(grid.H, body);
    }

    void setDepthBackground(const cv::Mat& background);
    static std::unique_ptr<Impl> allocate(const Settings& settings, const cv::Mat& roiImage,
                                          cv::Size size, bool withDepth);
    static std::unique_ptr<Impl> build(const Settings& settings, const cv::Mat& roiImage,
                                       const cv::Mat& background, const cv::Mat& depthBackground,
                                       const char* what);
    void useSettings(const Settings& s);
    void listState(StateFields& fields);
    static uint64_t stateBytes(const ModelGrid& grid, bool withDepth);
    void checkFrames(const cv::Mat& colourFrame, const cv::Mat& depthFrame) const;
    void convertFrame(const cv::Mat& colourFrame, const cv::Mat& depthFrame);
    Learning learningOf(double learningRate, int64_t frame) const;
    void useRate(float rate);
    void learnWriterRow(const UpdateWriters& colourWriters, const UpdateWriters& depthWriters,
                        int worker, int ownedBegin, int ownedEnd, int writerRow);
    void calibrate(const Learning& learning);
    void processOnline(const Learning& learning, cv::OutputArray fgmask);
    void apply(const cv::Mat& colourFrame, const cv::Mat& depthFrame, cv::OutputArray fgmask,
               double learningRate);

    Settings settings;
    ModelGrid grid;
    RegionOfInterest roi;
    ShadowThresholds shadow;
    float e2D = 0.0f;  // the online depth threshold for the depth background's bit depth
    int depthBits = 0;
    WorkerPool pool;
    ColourModel colour;
    std::optional<DepthModel> depth;
    PlaneSet framePlanes;               // the frame in cone coordinates
    std::vector<float> depthPlane;      // the frame's depth samples
    std::vector<ConeCache> coneCaches;  // per worker
    LabelMask fusedMask;
    LabelMask filteredMask;
    std::vector<uint8_t> fusionScratch;
    std::vector<uint8_t> filterScratch;
    NeighbourhoodKernel kernel;
    RateMatrix rateMatrix;
    std::optional<float> rateInMatrix;  // the rate rateMatrix was last filled with
    float a1;
    float a2;
    int64_t framesSeen = 0;
    bool haveOnlineFrame = false;
    StageTimes* times = nullptr;
};

void Subtractor::Impl::setDepthBackground(const cv::Mat& background) {
    requireDepthImage(background, cv::Size(grid.W, grid.H), "the depth background");
    depthBits = background.depth() == CV_16U ? 16 : 8;
    e2D = depthBits < 16 ? 0.005f : settings.e2D;
    DepthModel& model = *depth;
    std::fill(model.weights.begin(), model.weights.end(), 0.0f);
    std::fill(model.labels.begin(), model.labels.end(), 0);
    std::fill(model.labelsAfter.begin(), model.labelsAfter.end(), 0);
    depthImageToPlane(background, roi, depthPlane);
    initDepthModel(model, depthPlane, roi);
}

// Settings that may change between frames, with what follows from them.
void Subtractor::Impl::useSettings(const Settings& s) {
    settings = s;
    shadow = ShadowThresholds{s.gamma, s.beta, s.tauS, s.tauH};
    a1 = baseRate(s.c1, s.n);
    a2 = baseRate(s.c2, s.n);
    if (depth) e2D = depthBits < 16 ? 0.005f : s.e2D;
}

// Everything the next frame reads that earlier frames left, for a state: the
// models, the labels (outside the region of interest they are never
// rewritten, and fusion reads them there), the masks the filter writes into
// (it leaves pixels near the corners and outside the region as they were),
// and the counters. Not what every frame writes before it reads it: the frame
// in its planes and its depth samples, the best cells and actions, the
// labels of calibration and the scratch of fusion and filter; nor the rate
// matrix, a cache of the rate in use. stateBytes() says how long the list is.
void Subtractor::Impl::listState(StateFields& fields) {
    fields.integer("framesSeen", framesSeen);
    int64_t online = haveOnlineFrame ? 1 : 0;
    fields.integer("haveOnlineFrame", online);
    haveOnlineFrame = online != 0;
    fields.floats("colourWeightsX", colour.weights.plane[0]);
    fields.floats("colourWeightsY", colour.weights.plane[1]);
    fields.floats("colourWeightsZ", colour.weights.plane[2]);
    fields.bytes("colourLabels", colour.labels);
    fields.bytes("filteredMask", filteredMask);
    if (!depth) return;
    int64_t bits = depthBits;
    fields.integer("depthBits", bits);
    depthBits = static_cast<int>(bits);
    fields.real("e2D", e2D);
    fields.floats("depthWeights", depth->weights);
    fields.bytes("depthLabels", depth->labels);
    fields.bytes("fusedMask", fusedMask);
}

uint64_t Subtractor::Impl::stateBytes(const ModelGrid& grid, bool withDepth) {
    const uint64_t cells = grid.cells();
    const uint64_t pixels = grid.pixels();
    uint64_t bytes = 2 * stateFieldBytes(1, sizeof(int64_t)) +
                     3 * stateFieldBytes(cells, sizeof(float)) + 2 * stateFieldBytes(pixels, 1);
    if (withDepth) {
        bytes += stateFieldBytes(1, sizeof(int64_t)) + stateFieldBytes(1, sizeof(float)) +
                 stateFieldBytes(cells, sizeof(float)) + 2 * stateFieldBytes(pixels, 1);
    }
    return bytes;
}

void Subtractor::Impl::convertFrame(const cv::Mat& colourFrame, const cv::Mat& depthFrame) {
    forEachRowBand([&](int worker, int begin, int end) {
        {
            const StageTimer timer(times, Stage::ColourConversion);
            imageRowsToConePlanes(colourFrame, roi, framePlanes,
                                  coneCaches[static_cast<size_t>(worker)], begin, end);
        }
        if (depth) {
            const StageTimer timer(times, Stage::DepthDetection);
            depthRowsToPlane(depthFrame, roi, depthPlane, begin, end);
        }
    });
}

Learning Subtractor::Impl::learningOf(double learningRate, int64_t frame) const {
    // A rate of 1 restarts the models before this (see Subtractor::applyFrame).
    if (learningRate == 0.0) return {false, 0.0f};
    if (learningRate > 0.0) return {true, baseRate(static_cast<float>(learningRate), settings.n)};
    return {true, frame < settings.K ? calibrationRate(a1, a2, frame, settings.K) : a2};
}

void Subtractor::Impl::useRate(float rate) {
    if (rateInMatrix && *rateInMatrix == rate) return;
    fillRateMatrix(settings.n, rate, kernel, rateMatrix);
    rateInMatrix = rate;
}

// One step of both models' update passes over the cells of rows [ownedBegin,
// ownedEnd): the writers of row `writerRow` (see runUpdatePass).
void Subtractor::Impl::learnWriterRow(const UpdateWriters& colourWriters,
                                      const UpdateWriters& depthWriters, int worker, int ownedBegin,
                                      int ownedEnd, int writerRow) {
    {
        const StageTimer timer(times, Stage::ColourUpdate);
        colourUpdateWriterRows(framePlanes, colour, rateMatrix, colourWriters, ownedBegin, ownedEnd,
                               writerRow, writerRow + 1, worker);
    }
    if (!depth) return;
    const StageTimer timer(times, Stage::DepthUpdate);
    depthUpdateWriterRows(depthPlane, *depth, rateMatrix, depthWriters, ownedBegin, ownedEnd,
                          writerRow, writerRow + 1, worker);
}

// One calibration frame: label it against the models as they stand, then let
// every matched pixel update them.
void Subtractor::Impl::calibrate(const Learning& learning) {
    if (learning.learns) useRate(learning.rate);
    auto matchRows = [&](int worker, int begin, int end) {
        if (begin >= end) return;
        {
            const StageTimer timer(times, Stage::ColourUpdate);
            colourCalibrationMatchRows(framePlanes, colour, settings.e1, shadowTest(), roi, begin,
                                       end, worker);
        }
        if (!depth) return;
        const StageTimer timer(times, Stage::DepthUpdate);
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
void Subtractor::Impl::processOnline(const Learning& learning, cv::OutputArray fgmask) {
    const int window = settings.Cw == 5 ? 5 : 3;
    const LabelMask& filterInput = depth ? fusedMask : colour.labels;
    fgmask.create(grid.H, grid.W, CV_8UC1);
    cv::Mat mask = fgmask.getMat();
    if (learning.learns) useRate(learning.rate);

    auto match = [&](int worker, int row) {
        {
            const StageTimer timer(times, Stage::ColourDetection);
            colourMatchRows(framePlanes, colour, settings.e2, shadowTest(), roi, row, row + 1,
                            worker);
        }
        if (!depth) return;
        {
            const StageTimer timer(times, Stage::DepthDetection);
            depthMatchRows(depthPlane, *depth, e2D, roi, row, row + 1, worker);
        }
        const StageTimer timer(times, Stage::Fusion);
        fuseFirstStageRows(colour.labels, depth->labels, grid.W, row, row + 1, fusedMask,
                           fusionScratch);
    };
    auto border = [&](int row) {  // reads the matches of rows row - 3 .. row + 3
        if (depth) {
            const StageTimer timer(times, Stage::Fusion);
            fuseBorderRows(colour.labels, grid.W, grid.H, row, row + 1, fusedMask, fusionScratch);
        }
        const StageTimer timer(times, Stage::Filter);
        coherenceRowCounts(grid.W, window, filterInput, row, row + 1, filterScratch);
    };
    auto filter = [&](int row) {  // reads the borders of rows row - 2 .. row + 2
        {
            const StageTimer timer(times, Stage::Filter);
            coherenceRows(grid.H, grid.W, window, filterInput, roi, filteredMask, filterScratch,
                          row, row + 1);
            maskRowsToImage(filteredMask, mask, row, row + 1);
        }
        if (!learning.learns) return;
        const StageTimer timer(times, Stage::ColourUpdate);
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
    forEachRowBand(
        [&](int, int begin, int end) { visitBandEdges(begin, end, kBorderEdge, border); });
    forEachRowBand(
        [&](int, int begin, int end) { visitBandEdges(begin, end, kFilterEdge, filter); });
    forEachRowBand([&](int worker, int begin, int end) {
        if (begin >= end) return;
        for (int row = begin; row <= end + kLearnLag; ++row) {
            if (inBandMiddle(row, begin, end, kMatchEdge)) match(worker, row);
            if (inBandMiddle(row - kBorderLag, begin, end, kBorderEdge)) border(row - kBorderLag);
            if (inBandMiddle(row - kFilterLag, begin, end, kFilterEdge)) filter(row - kFilterLag);
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

void Subtractor::Impl::checkFrames(const cv::Mat& colourFrame, const cv::Mat& depthFrame) const {
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

void Subtractor::Impl::apply(const cv::Mat& colourFrame, const cv::Mat& depthFrame,
                             cv::OutputArray fgmask, double learningRate) {
    checkFrames(colourFrame, depthFrame);
    const int64_t frame = framesSeen + 1;
    const Learning learning = learningOf(learningRate, frame);
    convertFrame(colourFrame, depthFrame);
    if (frame < settings.K) {
        calibrate(learning);
        backgroundMask(grid, fgmask);
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

// What a subtractor is built from, kept for clear(), the settings and a state file.
struct Subtractor::Setup {
    Settings settings;
    bool programRules = false;  // the command line's: settings checked as it always has
    cv::Mat roi;                // as given; empty: every pixel
    cv::Mat colourBackground;   // what clear() returns to; empty: the next frame
    cv::Mat depthBackground;
    StageTimes* times = nullptr;
};

namespace {

constexpr const char* kApply = "dadimero::Subtractor::apply";

void requireState(const void* setup) {
    if (setup == nullptr) failInput("this subtractor was moved from");
}

// The region of interest's image, copied, after checking what can be checked
// before the frames' size is known.
cv::Mat roiImageOf(cv::InputArray roi) {
    if (roi.empty()) return cv::Mat();
    const cv::Mat image = roi.getMat();
    if (image.type() != CV_8UC1) {
        failInput("the region of interest must be 8-bit with 1 channel, got " +
                  describeType(image));
    }
    return image.clone();
}

}  // namespace

Subtractor::Subtractor(const Settings& settings, cv::InputArray colourBackground,
                       cv::InputArray depthBackground, cv::InputArray roi) {
    asPublic("dadimero::Subtractor::Subtractor",
             [&] { construct(settings, colourBackground, depthBackground, roi, false); });
}

void Subtractor::construct(const Settings& settings, cv::InputArray colourBackground,
                           cv::InputArray depthBackground, cv::InputArray roi, bool programRules) {
    if (programRules) {
        checkProgramSettings(settings);
    } else {
        checkSettings(settings);
    }
    auto setup = std::make_unique<Setup>();
    setup->settings = settings;
    setup->programRules = programRules;
    setup->roi = roiImageOf(roi);
    const cv::Mat background = colourBackground.getMat();
    const cv::Mat depthImage = depthBackground.getMat();
    if (background.empty()) {
        if (!depthImage.empty()) {
            failInput(
                "a depth background needs a colour background; give neither to take both "
                "from the first frame");
        }
    } else {
        impl_ = Impl::build(settings, setup->roi, background, depthImage, "the colour background");
        // The command line keeps no copy: it never returns to its backgrounds.
        if (!programRules) {
            setup->colourBackground = background.clone();
            setup->depthBackground = depthImage.clone();
        }
    }
    setup_ = std::move(setup);
}

// A model of `size` with every buffer allocated and zero-filled.
auto Subtractor::Impl::allocate(const Settings& settings, const cv::Mat& roiImage, cv::Size size,
                                bool withDepth) -> std::unique_ptr<Impl> {
    const ModelGrid grid{size.width, size.height, settings.n};
    RegionOfInterest region = regionOfInterest(roiImage, size);
    try {
        if (grid.rows() > INT_MAX || grid.cols() > INT_MAX) throw std::bad_alloc();
        return std::make_unique<Impl>(settings, grid, std::move(region), withDepth);
    } catch (const std::bad_alloc&) {
        failMemory(grid);
    } catch (const std::system_error& refused) {  // a thread the system would not start
        failThreadStart(workerCount(settings.threads, grid), refused.code().message());
    }
}

// The model for these backgrounds, allocated and started as the constructor
// does; `what` names the colour background in messages.
auto Subtractor::Impl::build(const Settings& settings, const cv::Mat& roiImage,
                             const cv::Mat& background, const cv::Mat& depthBackground,
                             const char* what) -> std::unique_ptr<Impl> {
    requireBackground(settings, background, what);
    const bool withDepth = !depthBackground.empty();
    if (withDepth) requireDepthImage(depthBackground, background.size(), "the depth background");
    std::unique_ptr<Impl> model = allocate(settings, roiImage, background.size(), withDepth);
    Impl& impl = *model;
    // The colour model starts as the background everywhere inside the region.
    imageToConePlanes(background, impl.roi, impl.framePlanes);
    initColourModel(impl.colour, impl.framePlanes, impl.roi);
    if (withDepth) impl.setDepthBackground(depthBackground);
    return model;
}

Subtractor::~Subtractor() = default;
Subtractor::Subtractor(Subtractor&& other) noexcept = default;
Subtractor& Subtractor::operator=(Subtractor&& other) noexcept = default;

cv::Ptr<Subtractor> Subtractor::create() {
    return cv::makePtr<Subtractor>();
}

cv::Ptr<Subtractor> createSubtractor(const Settings& settings, cv::InputArray colourBackground,
                                     cv::InputArray depthBackground, cv::InputArray roi) {
    return asPublic("dadimero::createSubtractor", [&] {
        auto subtractor = cv::makePtr<Subtractor>();
        subtractor->construct(settings, colourBackground, depthBackground, roi, false);
        return subtractor;
    });
}

Subtractor makeProgramSubtractor(const Settings& settings, const cv::Mat& background,
                                 const cv::Mat& depthBackground, const cv::Mat& roi) {
    Subtractor subtractor;
    subtractor.construct(settings, background, depthBackground, roi, true);
    return subtractor;
}

// The frame becomes the backgrounds of a new model: the first frame of a
// subtractor built from settings alone, or a frame learnt at the rate 1.
void Subtractor::startFrom(const cv::Mat& colourBackground, const cv::Mat& depthBackground,
                           const char* what) {
    std::unique_ptr<Impl> model =
        Impl::build(setup_->settings, setup_->roi, colourBackground, depthBackground, what);
    model->times = setup_->times;
    impl_ = std::move(model);
}

void Subtractor::applyFrame(const cv::Mat& colour, const cv::Mat& depth, cv::OutputArray fgmask,
                            double learningRate) {
    requireState(setup_.get());
    checkLearningRate(learningRate);
    if (impl_ && learningRate != 1.0) {
        impl_->apply(colour, depth, fgmask, learningRate);
        return;
    }
    if (impl_) {
        impl_->checkFrames(colour, depth);
    } else {
        requireColourImage(colour, colour.size(), "the colour frame");
        if (!depth.empty()) requireDepthImage(depth, colour.size(), "the depth frame");
    }
    startFrom(colour, depth, "the first colour frame");
    // At the rate 1 the frame is the model, as OpenCV's subtractors take it:
    // the next frame is detected against it, without a calibration.
    if (learningRate == 1.0)
        impl_->framesSeen = std::max<int64_t>(int64_t{impl_->settings.K} - 1, 0);
    if (setup_->times != nullptr) ++setup_->times->framesProcessed;
    backgroundMask(impl_->grid, fgmask);
}

void Subtractor::apply(cv::InputArray colour, cv::OutputArray fgmask, double learningRate) {
    asPublic(kApply, [&] { applyFrame(colour.getMat(), cv::Mat(), fgmask, learningRate); });
}

void Subtractor::apply(cv::InputArray colour, cv::InputArray depth, cv::OutputArray fgmask,
                       double learningRate) {
    asPublic(kApply, [&] { applyFrame(colour.getMat(), depth.getMat(), fgmask, learningRate); });
}

void Subtractor::getBackgroundImage(cv::OutputArray backgroundImage) const {
    asPublic("dadimero::Subtractor::getBackgroundImage", [&] {
        requireState(setup_.get());
        if (!impl_) {
            backgroundImage.release();
            return;
        }
        const Impl& impl = *impl_;
        const ModelGrid& grid = impl.grid;
        const PlaneSet& weights = impl.colour.weights;
        backgroundImage.create(grid.H, grid.W, CV_8UC3);
        cv::Mat image = backgroundImage.getMat();
        const int h = grid.n / 2;
        for (int r = 0; r < grid.H; ++r) {
            cv::Vec3b* row = image.ptr<cv::Vec3b>(r);
            for (int c = 0; c < grid.W; ++c) {
                const auto k = static_cast<size_t>((int64_t{r} * grid.n + h) * grid.cols() +
                                                   int64_t{c} * grid.n + h);
                row[c] = colourWeightToBgr(weights.plane[0][k], weights.plane[1][k],
                                           weights.plane[2][k]);
            }
        }
    });
}

bool Subtractor::calibrating() const {
    return asPublic("dadimero::Subtractor::calibrating", [&] {
        requireState(setup_.get());
        return !impl_ || impl_->calibrating();
    });
}

bool Subtractor::usesDepth() const {
    return asPublic("dadimero::Subtractor::usesDepth", [&] {
        requireState(setup_.get());
        return impl_ && impl_->depth.has_value();
    });
}

namespace {

void labelsToImage(const LabelMask& labels, bool labelCodes, int rows, int cols,
                   cv::OutputArray mask) {
    mask.create(rows, cols, CV_8UC1);
    cv::Mat image = mask.getMat();
    if (labelCodes) {
        cv::Mat(rows, cols, CV_8UC1, const_cast<uint8_t*>(labels.data())).copyTo(image);
    } else {
        maskToImage(labels, image);
    }
}

}  // namespace

void Subtractor::getColourMask(cv::OutputArray mask, bool labelCodes) const {
    asPublic("dadimero::Subtractor::getColourMask", [&] {
        requireState(setup_.get());
        if (!impl_ || !impl_->haveOnlineFrame) {
            mask.release();
            return;
        }
        labelsToImage(impl_->colour.labels, labelCodes, impl_->grid.H, impl_->grid.W, mask);
    });
}

void Subtractor::getDepthMask(cv::OutputArray mask, bool labelCodes) const {
    asPublic("dadimero::Subtractor::getDepthMask", [&] {
        requireState(setup_.get());
        if (!impl_ || !impl_->haveOnlineFrame || !impl_->depth) {
            mask.release();
            return;
        }
        labelsToImage(impl_->depth->labels, labelCodes, impl_->grid.H, impl_->grid.W, mask);
    });
}

void Subtractor::getColourModelImage(cv::OutputArray image) const {
    asPublic("dadimero::Subtractor::getColourModelImage", [&] {
        requireState(setup_.get());
        if (!impl_) {
            image.release();
            return;
        }
        const Impl& impl = *impl_;
        const ModelGrid& grid = impl.grid;
        const PlaneSet& weights = impl.colour.weights;
        image.create(static_cast<int>(grid.rows()), static_cast<int>(grid.cols()), CV_8UC3);
        cv::Mat out = image.getMat();
        const auto cols = static_cast<size_t>(out.cols);
        for (int R = 0; R < out.rows; ++R)
            colourWeightsToBgr(weights, static_cast<size_t>(R) * cols, cols, out.ptr<cv::Vec3b>(R));
    });
}

void Subtractor::getDepthModelImage(cv::OutputArray image) const {
    asPublic("dadimero::Subtractor::getDepthModelImage", [&] {
        requireState(setup_.get());
        if (!impl_ || !impl_->depth) {
            image.release();
            return;
        }
        const Impl& impl = *impl_;
        const ModelGrid& grid = impl.grid;
        image.create(static_cast<int>(grid.rows()), static_cast<int>(grid.cols()),
                     impl.depthBits == 16 ? CV_16UC1 : CV_8UC1);
        cv::Mat out = image.getMat();
        floatPlaneToImage(impl.depth->weights, out);
    });
}

void Subtractor::setDepthBackground(cv::InputArray depthBackground) {
    asPublic("dadimero::Subtractor::setDepthBackground", [&] {
        requireState(setup_.get());
        if (!impl_ || !impl_->depth) {
            failInput("a new depth background needs a subtractor that uses depth");
        }
        const cv::Mat image = depthBackground.getMat();
        impl_->setDepthBackground(image);
        if (!setup_->programRules) setup_->depthBackground = image.clone();
    });
}

Settings Subtractor::getSettings() const {
    return asPublic("dadimero::Subtractor::getSettings", [&] { return currentSettings(); });
}

const Settings& Subtractor::currentSettings() const {
    requireState(setup_.get());
    return setup_->settings;
}

void Subtractor::changeSettings(const Settings& settings) {
    requireState(setup_.get());
    checkSettings(settings);
    if (impl_) {
        const Settings& now = impl_->settings;
        if (settings.n != now.n) {
            failInput("n is " + std::to_string(now.n) +
                      " for this model and fixes its layout; it changes only before the first "
                      "frame");
        }
        if (settings.threads != now.threads) {
            failInput("threads is " + std::to_string(now.threads) +
                      " for this model; it changes only before the first frame");
        }
        requireFilterSize(settings.Cw, cv::Size(impl_->grid.W, impl_->grid.H), "the frame size");
        impl_->useSettings(settings);
    }
    setup_->settings = settings;
}

void Subtractor::clear() {
    asPublic("dadimero::Subtractor::clear", [&] {
        requireState(setup_.get());
        if (setup_->colourBackground.empty()) {
            impl_.reset();
            return;
        }
        startFrom(setup_->colourBackground, setup_->depthBackground, "the colour background");
    });
}

void Subtractor::saveStateTo(std::ostream& out, const std::string& name) const {
    requireState(setup_.get());
    StateHeader header;
    header.settings = setup_->settings;
    header.roi = setup_->roi;
    header.colourBackground = setup_->colourBackground;
    header.depthBackground = setup_->depthBackground;
    header.hasModel = impl_ != nullptr;
    if (impl_) {
        header.width = impl_->grid.W;
        header.height = impl_->grid.H;
        header.usesDepth = impl_->depth.has_value();
        header.fieldBytes = Impl::stateBytes(impl_->grid, header.usesDepth);
    }
    // Listing the fields changes nothing: the writer only reads them.
    Impl* model = impl_.get();
    writeState(
        out, header, [&](StateFields& fields) { model->listState(fields); }, name);
}

void Subtractor::loadStateFrom(std::istream& in, int64_t length, bool exactLength,
                               const std::string& name) {
    requireState(setup_.get());
    const Settings& own = setup_->settings;
    StateReader reader(in, length, exactLength, name, [&](const StateHeader& h) {
        return Impl::stateBytes(ModelGrid{h.width, h.height, h.settings.n}, h.usesDepth);
    });
    StateHeader header = reader.header();
    header.settings.threads = own.threads;
    // This subtractor's image size, when it has one, is the state's.
    cv::Size size;
    if (impl_) size = cv::Size(impl_->grid.W, impl_->grid.H);
    if (!setup_->roi.empty()) size = setup_->roi.size();
    const cv::Size stateSize =
        header.hasModel ? cv::Size(header.width, header.height) : header.roi.size();
    if (!size.empty() && !stateSize.empty() && size != stateSize) {
        fail(cv::Error::StsBadSize,
             name + " holds the state of " + std::to_string(stateSize.width) + "x" +
                 std::to_string(stateSize.height) + " frames, this subtractor's are " +
                 std::to_string(size.width) + "x" + std::to_string(size.height));
    }
    auto setup = std::make_unique<Setup>();
    setup->settings = header.settings;
    setup->roi = header.roi;
    setup->colourBackground = header.colourBackground;
    setup->depthBackground = header.depthBackground;
    setup->times = setup_->times;
    std::unique_ptr<Impl> model;
    if (header.hasModel) {
        // A model of the state's shape, whose every listed buffer the state fills.
        model = Impl::allocate(header.settings, header.roi, stateSize, header.usesDepth);
        model->times = setup_->times;
        reader.readFields([&](StateFields& fields) { model->listState(fields); });
        if (model->framesSeen < 0 ||
            (model->depth && model->depthBits != 8 && model->depthBits != 16)) {
            fail(cv::Error::StsParseError, name + " is damaged: its counters are impossible");
        }
    }
    setup_ = std::move(setup);
    impl_ = std::move(model);
}

void Subtractor::saveState(std::ostream& out) const {
    asPublic("dadimero::Subtractor::saveState", [&] { saveStateTo(out, "the state"); });
}

void Subtractor::loadState(std::istream& in) {
    asPublic("dadimero::Subtractor::loadState", [&] {
        // The bytes left in the stream bound what the state may declare.
        int64_t length = -1;
        const std::istream::pos_type start = in.tellg();
        if (start != std::istream::pos_type(-1) && in.seekg(0, std::ios::end)) {
            length = static_cast<int64_t>(in.tellg() - start);
            in.seekg(start);
        }
        in.clear(in.rdstate() & ~std::ios::failbit);
        loadStateFrom(in, length, false, "the state");
    });
}

bool Subtractor::empty() const {
    return setup_ == nullptr;
}

cv::String Subtractor::getDefaultName() const {
    return "dadimero_Subtractor";
}

void attachStageTimes(Subtractor& subtractor, StageTimes* times) {
    if (subtractor.setup_) subtractor.setup_->times = times;
    if (subtractor.impl_) subtractor.impl_->times = times;
}

}  // namespace dadimero
