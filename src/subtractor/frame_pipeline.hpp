#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "colour/colour_model.hpp"
#include "colour/cone_planes.hpp"
#include "colour/neighbourhood_kernel.hpp"
#include "colour/shadow.hpp"
#include "dadimero/dadimero.hpp"
#include "depth/depth_model.hpp"
#include "masks/label_mask.hpp"
#include "masks/region_of_interest.hpp"
#include "model/model_grid.hpp"
#include "model/model_update.hpp"
#include "model/planes.hpp"
#include "threads/worker_pool.hpp"

namespace dadimero {

struct StageTimes;

// The learning of one frame: whether the models learn, and at which rate.
struct Learning {
    bool learns;
    float rate;
};

// The running model of a Subtractor and the path of a frame through it: every
// buffer a frame passes through, allocated once, and the sweeps of row bands
// that convert a frame, match it, fuse, filter and learn from it. Not copyable.
class FramePipeline {
  public:
    // Every buffer allocated and zero-filled; the models are empty.
    FramePipeline(const Settings& s, const ModelGrid& g, RegionOfInterest region, bool withDepth);
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // A model of `size` with every buffer allocated and zero-filled; throws
    // StsNoMem when it does not fit in memory.
    static std::unique_ptr<FramePipeline> allocate(const Settings& settings,
                                                   const cv::Mat& roiImage, cv::Size size,
                                                   bool withDepth);
    // The model for these backgrounds, allocated and started as a Subtractor's
    // constructor does; `what` names the colour background in messages.
    static std::unique_ptr<FramePipeline> build(const Settings& settings, const cv::Mat& roiImage,
                                                const cv::Mat& background,
                                                const cv::Mat& depthBackground, const char* what);

    // Starts the depth model afresh from a depth background of the frames' size.
    void setDepthBackground(const cv::Mat& background);
    // Settings that may change between frames, with what follows from them.
    void useSettings(const Settings& s);

    bool calibrating() const { return framesSeen + 1 < settings.K; }
    // Throws unless the frames fit this model.
    void checkFrames(const cv::Mat& colourFrame, const cv::Mat& depthFrame) const;
    // One frame: calibration or online, then the frame count.
    void apply(const cv::Mat& colourFrame, const cv::Mat& depthFrame, cv::OutputArray fgmask,
               double learningRate);
    // The mask of a frame that is not detected: all background.
    void backgroundMask(cv::OutputArray fgmask) const;

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

  private:
    const ShadowThresholds* shadowTest() const {
        return settings.shadowRemoval ? &shadow : nullptr;
    }
    template <typename Body>
    void forEachRowBand(Body&& body) {
        pool.forEachBand(grid.H, body);
    }
    void convertFrame(const cv::Mat& colourFrame, const cv::Mat& depthFrame);
    Learning learningOf(double learningRate, int64_t frame) const;
    void useRate(float rate);
    void learnWriterRow(const UpdateWriters& colourWriters, const UpdateWriters& depthWriters,
                        int worker, int ownedBegin, int ownedEnd, int writerRow);
    void calibrate(const Learning& learning);
    void processOnline(const Learning& learning, cv::OutputArray fgmask);
};

}  // namespace dadimero
