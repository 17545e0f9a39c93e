#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <optional>
#include <string>

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
#include "subtractor/stage_times.hpp"
#include "threads/worker_pool.hpp"

namespace dadimero {

namespace {

void checkSettings(const Settings& s) {
    if (!isSupportedBlockSide(s.n)) {
        failInput("n must be 1, 3, 5, 7 or 9, got " + std::to_string(s.n));
    }
    if (s.threads < 0) {
        failInput("threads must be 0 (one per core) or more, got " + std::to_string(s.threads));
    }
}

ModelGrid gridFor(const Settings& settings, const cv::Mat& background) {
    requireColourImage(background, background.size(), "the colour background");
    const int minSide = settings.Cw == 5 ? kMinSide5x5 : kMinSide3x3;
    if (background.cols < minSide || background.rows < minSide) {
        failInput("the colour background is " + std::to_string(background.cols) + "x" +
                  std::to_string(background.rows) + ", smaller than the " +
                  std::to_string(minSide) + "x" + std::to_string(minSide) +
                  " the spatial filter needs");
    }
    return ModelGrid{background.cols, background.rows, settings.n};
}

[[noreturn]] void failMemory(const ModelGrid& grid) {
    throw cv::Exception(cv::Error::StsNoMem,
                        "not enough memory for the background model (" + std::to_string(grid.W) +
                            " x " + std::to_string(grid.H) +
                            " pixels, n=" + std::to_string(grid.n) + ")",
                        "dadimero::Subtractor", __FILE__, __LINE__);
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
          pool(resolveThreadCount(s.threads)),
          colour(g, pool.size()),
          framePlanes(allocFloatPlanes(g.pixels())),
          coneCaches(static_cast<size_t>(pool.size())),
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
    void convertFrame(const cv::Mat& colourFrame, const cv::Mat& depthFrame);
    Learning learningOf(double learningRate, int64_t frame) const;
    void useRate(float rate);
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
    if (learningRate == 0.0) return {false, 0.0f};
    if (learningRate > 0.0) return {true, baseRate(static_cast<float>(learningRate), settings.n)};
    return {true, frame < settings.K ? calibrationRate(a1, a2, frame, settings.K) : a2};
}

void Subtractor::Impl::useRate(float rate) {
    if (rateInMatrix && *rateInMatrix == rate) return;
    fillRateMatrix(settings.n, rate, kernel, rateMatrix);
    rateInMatrix = rate;
}

// One calibration frame: label it against the models as they stand, then let
// every matched pixel update them.
void Subtractor::Impl::calibrate(const Learning& learning) {
    if (learning.learns) useRate(learning.rate);
    {
        const StageTimer timer(times, Stage::ColourUpdate);
        forEachRowBand([&](int worker, int begin, int end) {
            colourCalibrationMatchRows(framePlanes, colour, settings.e1, shadowTest(), roi, begin,
                                       end, worker);
        });
        if (learning.learns) {
            const UpdateWriters writers{colour.action.data(), colour.labels.data(),
                                        colour.labelsAfter.data()};
            forEachRowBand([&](int worker, int begin, int end) {
                colourUpdateRows(framePlanes, colour, rateMatrix, writers, begin, end, worker);
            });
        }
        std::swap(colour.labels, colour.labelsAfter);
    }
    if (!depth) return;
    const StageTimer timer(times, Stage::DepthUpdate);
    DepthModel& model = *depth;
    forEachRowBand([&](int worker, int begin, int end) {
        depthCalibrationMatchRows(depthPlane, model, settings.e1D, roi, begin, end, worker);
    });
    if (learning.learns) {
        const UpdateWriters writers{model.action.data(), model.labels.data(),
                                    model.labelsAfter.data()};
        forEachRowBand([&](int worker, int begin, int end) {
            depthUpdateRows(depthPlane, model, rateMatrix, writers, begin, end, worker);
        });
    }
    std::swap(model.labels, model.labelsAfter);
}

// One online frame: labels, fusion, filter, the mask, then learning.
void Subtractor::Impl::processOnline(const Learning& learning, cv::OutputArray fgmask) {
    {
        const StageTimer timer(times, Stage::ColourDetection);
        forEachRowBand([&](int worker, int begin, int end) {
            colourMatchRows(framePlanes, colour, settings.e2, shadowTest(), roi, begin, end,
                            worker);
        });
    }
    const LabelMask* filterInput = &colour.labels;
    if (depth) {
        {
            const StageTimer timer(times, Stage::DepthDetection);
            forEachRowBand([&](int worker, int begin, int end) {
                depthMatchRows(depthPlane, *depth, e2D, roi, begin, end, worker);
            });
        }
        const StageTimer timer(times, Stage::Fusion);
        fuseColourAndDepth(colour.labels, depth->labels, grid.W, grid.H, fusedMask, fusionScratch);
        filterInput = &fusedMask;
    }
    {
        const StageTimer timer(times, Stage::Filter);
        if (settings.Cw == 5) {
            spatialCoherence5x5(grid.H, grid.W, *filterInput, roi, filteredMask, filterScratch);
        } else {
            spatialCoherence3x3(grid.H, grid.W, *filterInput, roi, filteredMask, filterScratch);
        }
        fgmask.create(grid.H, grid.W, CV_8UC1);
        cv::Mat mask = fgmask.getMat();
        maskToImage(filteredMask, mask);
    }
    haveOnlineFrame = true;

    // The colour model learns where the final mask says background, the depth
    // model where depth alone did.
    if (learning.learns) {
        useRate(learning.rate);
        const StageTimer timer(times, Stage::ColourUpdate);
        forEachRowBand([&](int, int begin, int end) {
            colourOnlineActionRows(colour, filteredMask, roi, begin, end);
            if (depth) depthOnlineActionRows(*depth, roi, begin, end);
        });
        const UpdateWriters colourWriters{colour.action.data(), filteredMask.data(),
                                          filteredMask.data()};
        forEachRowBand([&](int worker, int begin, int end) {
            colourUpdateRows(framePlanes, colour, rateMatrix, colourWriters, begin, end, worker);
            if (depth) {
                const UpdateWriters depthWriters{depth->action.data(), depth->labels.data(),
                                                 depth->labels.data()};
                depthUpdateRows(depthPlane, *depth, rateMatrix, depthWriters, begin, end, worker);
            }
        });
    }
    // The pixels the filter leaves unwritten show the previous frame's fused
    // labels: the next fusion writes into this frame's filtered buffer.
    if (depth) std::swap(fusedMask, filteredMask);
}

void Subtractor::Impl::apply(const cv::Mat& colourFrame, const cv::Mat& depthFrame,
                             cv::OutputArray fgmask, double learningRate) {
    const cv::Size size(grid.W, grid.H);
    requireColourImage(colourFrame, size, "the colour frame");
    if (depth) {
        if (depthFrame.empty()) {
            failInput("this subtractor uses depth: give the depth frame with the colour frame");
        }
        requireDepthImage(depthFrame, size, "the depth frame");
    } else if (!depthFrame.empty()) {
        failInput("a depth frame was given to a subtractor built without a depth background");
    }
    if (std::isnan(learningRate)) failInput("the learning rate is not a number");

    const int64_t frame = framesSeen + 1;
    const Learning learning = learningOf(learningRate, frame);
    convertFrame(colourFrame, depthFrame);
    if (frame < settings.K) {
        calibrate(learning);
        fgmask.release();
    } else {
        processOnline(learning, fgmask);
    }
    framesSeen = frame;
    if (times != nullptr) ++times->framesProcessed;
}

Subtractor::Subtractor(const Settings& settings, cv::InputArray colourBackground,
                       cv::InputArray depthBackground, cv::InputArray roi) {
    checkSettings(settings);
    const cv::Mat background = colourBackground.getMat();
    const ModelGrid grid = gridFor(settings, background);
    const bool withDepth = !depthBackground.empty();
    const cv::Mat depthImage = withDepth ? depthBackground.getMat() : cv::Mat();
    if (withDepth) requireDepthImage(depthImage, background.size(), "the depth background");
    RegionOfInterest region = regionOfInterest(roi, background.size());
    try {
        if (grid.rows() > INT_MAX || grid.cols() > INT_MAX) throw std::bad_alloc();
        impl_ = std::make_unique<Impl>(settings, grid, std::move(region), withDepth);
    } catch (const std::bad_alloc&) {
        failMemory(grid);
    }
    Impl& impl = *impl_;
    // The colour model starts as the background everywhere inside the region.
    imageToConePlanes(background, impl.roi, impl.framePlanes);
    initColourModel(impl.colour, impl.framePlanes, impl.roi);
    if (withDepth) impl.setDepthBackground(depthImage);
}

Subtractor::~Subtractor() = default;
Subtractor::Subtractor(Subtractor&& other) noexcept = default;
Subtractor& Subtractor::operator=(Subtractor&& other) noexcept = default;

namespace {

void requireState(const void* impl) {
    if (impl == nullptr) failInput("this subtractor was moved from");
}

}  // namespace

void Subtractor::apply(cv::InputArray colour, cv::OutputArray fgmask, double learningRate) {
    requireState(impl_.get());
    impl_->apply(colour.getMat(), cv::Mat(), fgmask, learningRate);
}

void Subtractor::apply(cv::InputArray colour, cv::InputArray depth, cv::OutputArray fgmask,
                       double learningRate) {
    requireState(impl_.get());
    impl_->apply(colour.getMat(), depth.getMat(), fgmask, learningRate);
}

void Subtractor::getBackgroundImage(cv::OutputArray backgroundImage) const {
    requireState(impl_.get());
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
            row[c] =
                colourWeightToBgr(weights.plane[0][k], weights.plane[1][k], weights.plane[2][k]);
        }
    }
}

bool Subtractor::calibrating() const {
    requireState(impl_.get());
    return impl_->calibrating();
}

bool Subtractor::usesDepth() const {
    requireState(impl_.get());
    return impl_->depth.has_value();
}

void Subtractor::getColourMask(cv::OutputArray mask) const {
    requireState(impl_.get());
    const Impl& impl = *impl_;
    if (!impl.haveOnlineFrame) {
        mask.release();
        return;
    }
    mask.create(impl.grid.H, impl.grid.W, CV_8UC1);
    cv::Mat image = mask.getMat();
    maskToImage(impl.colour.labels, image);
}

void Subtractor::getDepthMask(cv::OutputArray mask) const {
    requireState(impl_.get());
    const Impl& impl = *impl_;
    if (!impl.haveOnlineFrame || !impl.depth) {
        mask.release();
        return;
    }
    mask.create(impl.grid.H, impl.grid.W, CV_8UC1);
    cv::Mat image = mask.getMat();
    maskToImage(impl.depth->labels, image);
}

void Subtractor::getColourModelImage(cv::OutputArray image) const {
    requireState(impl_.get());
    const Impl& impl = *impl_;
    const ModelGrid& grid = impl.grid;
    const PlaneSet& weights = impl.colour.weights;
    image.create(static_cast<int>(grid.rows()), static_cast<int>(grid.cols()), CV_8UC3);
    cv::Mat out = image.getMat();
    const auto cols = static_cast<size_t>(out.cols);
    for (int R = 0; R < out.rows; ++R)
        colourWeightsToBgr(weights, static_cast<size_t>(R) * cols, cols, out.ptr<cv::Vec3b>(R));
}

void Subtractor::getDepthModelImage(cv::OutputArray image) const {
    requireState(impl_.get());
    const Impl& impl = *impl_;
    if (!impl.depth) {
        image.release();
        return;
    }
    const ModelGrid& grid = impl.grid;
    image.create(static_cast<int>(grid.rows()), static_cast<int>(grid.cols()),
                 impl.depthBits == 16 ? CV_16UC1 : CV_8UC1);
    cv::Mat out = image.getMat();
    floatPlaneToImage(impl.depth->weights, out);
}

void Subtractor::setDepthBackground(cv::InputArray depthBackground) {
    requireState(impl_.get());
    if (!impl_->depth) {
        failInput("setDepthBackground needs a subtractor built with a depth background");
    }
    impl_->setDepthBackground(depthBackground.getMat());
}

bool Subtractor::empty() const {
    return impl_ == nullptr;
}

cv::String Subtractor::getDefaultName() const {
    return "dadimero.Subtractor";
}

void attachStageTimes(Subtractor& subtractor, StageTimes* times) {
    if (subtractor.impl_) subtractor.impl_->times = times;
}

}  // namespace dadimero
