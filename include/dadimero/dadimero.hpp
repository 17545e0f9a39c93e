// DADI-MERO: background subtraction for RGB-D video with a self-organising,
// per-pixel model of colour and depth weights, shadow removal, colour-depth
// fusion and a spatial majority filter. The one public header of the library.
//
//     dadimero::Subtractor subtractor(settings, colourBackground, depthBackground);
//     cv::Mat mask;
//     for (each frame) subtractor.apply(colour, depth, mask);  // empty while calibrating
//
// Results are exactly reproducible: the same frames and settings give the same
// bytes on every machine and for every thread count.
#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/video/background_segm.hpp>

namespace dadimero {

// Every field defaults to the command line's default.
struct Settings {
    int n = 3;             // block side: each pixel holds n x n weights; 1, 3, 5, 7 or 9
    int K = 1;             // the first K - 1 frames given to apply() calibrate the models
    float e1 = 0.1f;       // colour distance threshold while calibrating
    float e2 = 0.008f;     // colour distance threshold online
    float e1D = 0.1f;      // depth threshold while calibrating
    float e2D = 0.00075f;  // depth threshold online; 0.005 replaces it for 8-bit depth
    float c1 = 0.1f;       // learning rate while calibrating (falls linearly towards c2)
    float c2 = 0.05f;      // learning rate online
    int Cw = 5;            // 5: 5 x 5 spatial majority filter; any other value: 3 x 3
    bool shadowRemoval = true;
    float gamma = 0.7f;  // shadow test: lower bound of the brightness ratio
    float beta = 1.0f;   // shadow test: upper bound of the brightness ratio
    float tauS = 0.1f;   // shadow test: saturation threshold
    float tauH = 10.0f;  // shadow test: hue threshold, degrees
    int threads = 0;     // 0: one per core; the results are the same for every value
};

// The initial depth background of the given depth frames (all 8-bit or all
// 16-bit, one channel, one size): per pixel inside `roi` the largest value, 0
// outside. DADI-MERO computes it from its frames ini .. min(end, 100). `roi`:
// empty = every pixel, else 8-bit one channel of the frames' size, nonzero
// inside. Throws cv::Exception for an empty list or frames that do not match.
cv::Mat initialDepthBackground(const std::vector<cv::Mat>& depthFrames,
                               cv::InputArray roi = cv::noArray());

struct StageTimes;  // per-stage clocks of the benchmark (not part of the API)

// Background subtraction frame by frame, in the manner of OpenCV's
// BackgroundSubtractor. Frames are 8-bit BGR colour images of the background's
// size and, for a subtractor built with a depth background, aligned depth
// frames of one channel, 8 or 16 bits, where 0 means no measurement and larger
// is farther. Bad input throws cv::Exception with one sentence saying what is
// wrong; the subtractor is then unchanged.
//
// Not copyable, movable. Everything is allocated by the constructor; apply()
// allocates nothing after the first online frame (fgmask aside, when the
// caller's matrix does not already have the mask's size and type). Like
// OpenCV's subtractors, one subtractor is for one thread at a time; separate
// subtractors may run in parallel (each uses Settings::threads threads).
class Subtractor : public cv::BackgroundSubtractor {
  public:
    // colourBackground: 8-bit BGR, an estimate of the empty scene; at least
    // 5 x 5 pixels for the 5 x 5 filter, 2 x 2 for the 3 x 3 one.
    // depthBackground: empty for colour alone, else 8- or 16-bit one channel of
    // the same size (see initialDepthBackground); its bit depth decides e2D
    // (below 16 bits, 0.005 replaces it) and the type of the depth model image.
    // roi: empty = every pixel, else 8-bit one channel, nonzero inside; pixels
    // outside are never labelled foreground and never learnt.
    Subtractor(const Settings& settings, cv::InputArray colourBackground,
               cv::InputArray depthBackground = cv::noArray(), cv::InputArray roi = cv::noArray());
    ~Subtractor() override;
    Subtractor(Subtractor&& other) noexcept;
    Subtractor& operator=(Subtractor&& other) noexcept;
    Subtractor(const Subtractor&) = delete;
    Subtractor& operator=(const Subtractor&) = delete;

    // Colour alone: for a subtractor built without a depth background.
    // While calibrating, fgmask is left empty (released); online it receives
    // the final mask, 8-bit one channel, 255 foreground and 0 background.
    // learningRate < 0: the settings' rates (c1 falling to c2 while
    // calibrating, then c2). 0: the models do not learn from this frame.
    // > 0: this frame learns as with that value for c: a weight moves
    // learningRate x kernel(i, j) / (n + 1) of the way towards the pixel (for n
    // of 3 to 9 the centre of the window moves learningRate of the way).
    void apply(cv::InputArray colour, cv::OutputArray fgmask, double learningRate = -1) override;
    // Colour and depth: for a subtractor built with a depth background.
    void apply(cv::InputArray colour, cv::InputArray depth, cv::OutputArray fgmask,
               double learningRate = -1);

    // Frame-size 8-bit BGR picture of the colour model: for every pixel the
    // centre weight of its block, the weight a background pixel pulls hardest.
    void getBackgroundImage(cv::OutputArray backgroundImage) const override;

    // True while the next apply() is a calibration frame.
    bool calibrating() const;
    bool usesDepth() const;

    // The colour mask and the depth mask of the last online frame, before
    // fusion and filtering (0/255, frame size); empty before the first online
    // frame, and the depth mask also for colour alone.
    void getColourMask(cv::OutputArray mask) const;
    void getDepthMask(cv::OutputArray mask) const;

    // The models, one pixel per weight: (W*n) x (H*n) pictures in which pixel
    // (r, c) shows as the n x n tile of its block. Colour: 8-bit BGR. Depth:
    // the depth background's type, a weight w stored as w x 2^bits, rounded
    // and saturated (empty for colour alone).
    void getColourModelImage(cv::OutputArray image) const;
    void getDepthModelImage(cv::OutputArray image) const;

    // Starts the depth model afresh from a new depth background, as the
    // constructor does (its bit depth decides e2D). For a subtractor built with
    // depth; the colour model and the frame count stay.
    void setDepthBackground(cv::InputArray depthBackground);

    bool empty() const override;  // true only for a moved-from subtractor
    cv::String getDefaultName() const override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    friend void attachStageTimes(Subtractor& subtractor, StageTimes* times);
};

}  // namespace dadimero
