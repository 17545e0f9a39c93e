// The public facade of the library: a Subtractor's settings, backgrounds and
// state around its FramePipeline, each public function naming itself in its
// errors.
#include <algorithm>
#include <istream>
#include <ostream>
#include <string>

#include "dadimero/dadimero.hpp"
#include "dadimero/internal/stage_times.hpp"
#include "images/image_exchange.hpp"
#include "images/model_images.hpp"
#include "subtractor/frame_pipeline.hpp"
#include "subtractor/input_checks.hpp"
#include "subtractor/public_errors.hpp"
#include "subtractor/settings_checks.hpp"
#include "subtractor/subtractor_setup.hpp"
#include "subtractor/subtractor_state.hpp"

namespace dadimero {

namespace {

constexpr const char* kApply = "dadimero::Subtractor::apply";

void requireState(const void* setup) {
    if (setup == nullptr) failInput("this subtractor was moved from");
}

}  // namespace

Subtractor::Setup::Setup(const Settings& s, cv::InputArray regionOfInterest) : settings(s) {
    if (regionOfInterest.empty()) return;
    const cv::Mat image = regionOfInterest.getMat();
    if (image.type() != CV_8UC1) {
        failInput("the region of interest must be 8-bit with 1 channel, got " +
                  describeType(image));
    }
    roi = image.clone();
}

Subtractor::Subtractor(const Settings& settings, cv::InputArray colourBackground,
                       cv::InputArray depthBackground, cv::InputArray roi) {
    asPublic("dadimero::Subtractor::Subtractor", [&] {
        checkSettings(settings);
        construct(std::make_unique<Setup>(settings, roi), colourBackground, depthBackground);
    });
}

void Subtractor::construct(std::unique_ptr<Setup> setup, cv::InputArray colourBackground,
                           cv::InputArray depthBackground) {
    const cv::Mat background = colourBackground.getMat();
    const cv::Mat depthImage = depthBackground.getMat();
    std::unique_ptr<FramePipeline> model;
    if (background.empty()) {
        if (!depthImage.empty()) {
            failInput(
                "a depth background needs a colour background; give neither to take both "
                "from the first frame");
        }
    } else {
        model = FramePipeline::build(setup->settings, setup->roi, background, depthImage,
                                     "the colour background");
        model->times = setup->times;
        if (setup->keepsBackgrounds) {
            setup->colourBackground = background.clone();
            setup->depthBackground = depthImage.clone();
        }
    }
    setup_ = std::move(setup);
    pipeline_ = std::move(model);
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
        checkSettings(settings);
        auto subtractor = cv::makePtr<Subtractor>();
        subtractor->construct(std::make_unique<Subtractor::Setup>(settings, roi), colourBackground,
                              depthBackground);
        return subtractor;
    });
}

// The frame becomes the backgrounds of a new model: the first frame of a
// subtractor built from settings alone, or a frame learnt at the rate 1.
void Subtractor::startFrom(const cv::Mat& colourBackground, const cv::Mat& depthBackground,
                           const char* what) {
    std::unique_ptr<FramePipeline> model = FramePipeline::build(
        setup_->settings, setup_->roi, colourBackground, depthBackground, what);
    model->times = setup_->times;
    pipeline_ = std::move(model);
}

void Subtractor::applyFrame(const cv::Mat& colour, const cv::Mat& depth, cv::OutputArray fgmask,
                            double learningRate) {
    requireState(setup_.get());
    checkLearningRate(learningRate);
    if (pipeline_ && learningRate != 1.0) {
        pipeline_->apply(colour, depth, fgmask, learningRate);
        return;
    }
    if (pipeline_) {
        pipeline_->checkFrames(colour, depth);
    } else {
        requireColourImage(colour, colour.size(), "the colour frame");
        if (!depth.empty()) requireDepthImage(depth, colour.size(), "the depth frame");
    }
    startFrom(colour, depth, "the first colour frame");
    // At the rate 1 the frame is the model, as OpenCV's subtractors take it:
    // the next frame is detected against it, without a calibration.
    if (learningRate == 1.0)
        pipeline_->framesSeen = std::max<int64_t>(int64_t{pipeline_->settings.K} - 1, 0);
    if (setup_->times != nullptr) ++setup_->times->framesProcessed;
    pipeline_->backgroundMask(fgmask);
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
        if (!pipeline_) {
            backgroundImage.release();
            return;
        }
        const FramePipeline& pipeline = *pipeline_;
        const ModelGrid& grid = pipeline.grid;
        const PlaneSet& weights = pipeline.colour.weights;
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
        return !pipeline_ || pipeline_->calibrating();
    });
}

bool Subtractor::usesDepth() const {
    return asPublic("dadimero::Subtractor::usesDepth", [&] {
        requireState(setup_.get());
        return pipeline_ && pipeline_->depth.has_value();
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
        if (!pipeline_ || !pipeline_->haveOnlineFrame) {
            mask.release();
            return;
        }
        labelsToImage(pipeline_->colour.labels, labelCodes, pipeline_->grid.H, pipeline_->grid.W,
                      mask);
    });
}

void Subtractor::getDepthMask(cv::OutputArray mask, bool labelCodes) const {
    asPublic("dadimero::Subtractor::getDepthMask", [&] {
        requireState(setup_.get());
        if (!pipeline_ || !pipeline_->haveOnlineFrame || !pipeline_->depth) {
            mask.release();
            return;
        }
        labelsToImage(pipeline_->depth->labels, labelCodes, pipeline_->grid.H, pipeline_->grid.W,
                      mask);
    });
}

void Subtractor::getColourModelImage(cv::OutputArray image) const {
    asPublic("dadimero::Subtractor::getColourModelImage", [&] {
        requireState(setup_.get());
        if (!pipeline_) {
            image.release();
            return;
        }
        const FramePipeline& pipeline = *pipeline_;
        const ModelGrid& grid = pipeline.grid;
        const PlaneSet& weights = pipeline.colour.weights;
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
        if (!pipeline_ || !pipeline_->depth) {
            image.release();
            return;
        }
        const FramePipeline& pipeline = *pipeline_;
        const ModelGrid& grid = pipeline.grid;
        image.create(static_cast<int>(grid.rows()), static_cast<int>(grid.cols()),
                     pipeline.depthBits == 16 ? CV_16UC1 : CV_8UC1);
        cv::Mat out = image.getMat();
        floatPlaneToImage(pipeline.depth->weights, out);
    });
}

void Subtractor::setDepthBackground(cv::InputArray depthBackground) {
    asPublic("dadimero::Subtractor::setDepthBackground", [&] {
        requireState(setup_.get());
        if (!pipeline_ || !pipeline_->depth) {
            failInput("a new depth background needs a subtractor that uses depth");
        }
        const cv::Mat image = depthBackground.getMat();
        pipeline_->setDepthBackground(image);
        if (setup_->keepsBackgrounds) setup_->depthBackground = image.clone();
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
    if (pipeline_) {
        const Settings& now = pipeline_->settings;
        if (settings.n != now.n) {
            failInput("n is " + std::to_string(now.n) +
                      " for this model and fixes its layout; it changes only before the first "
                      "frame");
        }
        if (settings.threads != now.threads) {
            failInput("threads is " + std::to_string(now.threads) +
                      " for this model; it changes only before the first frame");
        }
        requireFilterSize(settings.Cw, cv::Size(pipeline_->grid.W, pipeline_->grid.H),
                          "the frame size");
        pipeline_->useSettings(settings);
    }
    setup_->settings = settings;
}

void Subtractor::clear() {
    asPublic("dadimero::Subtractor::clear", [&] {
        requireState(setup_.get());
        if (setup_->colourBackground.empty()) {
            pipeline_.reset();
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
    header.hasModel = pipeline_ != nullptr;
    if (pipeline_) {
        header.width = pipeline_->grid.W;
        header.height = pipeline_->grid.H;
        header.usesDepth = pipeline_->depth.has_value();
        header.fieldBytes = modelStateBytes(pipeline_->grid, header.usesDepth);
    }
    // Listing the fields changes nothing: the writer only reads them.
    FramePipeline* model = pipeline_.get();
    writeState(
        out, header, [&](StateFields& fields) { listModelState(*model, fields); }, name);
}

void Subtractor::loadStateFrom(std::istream& in, int64_t length, bool exactLength,
                               const std::string& name) {
    requireState(setup_.get());
    const Settings& own = setup_->settings;
    StateReader reader(in, length, exactLength, name, [&](const StateHeader& h) {
        return modelStateBytes(ModelGrid{h.width, h.height, h.settings.n}, h.usesDepth);
    });
    StateHeader header = reader.header();
    header.settings.threads = own.threads;
    // This subtractor's image size, when it has one, is the state's.
    cv::Size size;
    if (pipeline_) size = cv::Size(pipeline_->grid.W, pipeline_->grid.H);
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
    std::unique_ptr<FramePipeline> model;
    if (header.hasModel) {
        // A model of the state's shape, whose every listed buffer the state fills.
        model = FramePipeline::allocate(header.settings, header.roi, stateSize, header.usesDepth);
        model->times = setup_->times;
        reader.readFields([&](StateFields& fields) { listModelState(*model, fields); });
        if (model->framesSeen < 0 ||
            (model->depth && model->depthBits != 8 && model->depthBits != 16)) {
            fail(cv::Error::StsParseError, name + " is damaged: its counters are impossible");
        }
    }
    setup_ = std::move(setup);
    pipeline_ = std::move(model);
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

}  // namespace dadimero
