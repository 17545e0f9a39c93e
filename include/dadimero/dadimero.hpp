// DADI-MERO: background subtraction for RGB-D video with a self-organising,
// per-pixel model of colour and depth weights, shadow removal, colour-depth
// fusion and a spatial majority filter. The one public header of the library.
//
//     cv::Ptr<dadimero::Subtractor> subtractor = dadimero::createSubtractor();
//     cv::Mat mask;
//     for (each frame) subtractor->apply(colour, depth, mask);  // all 0 while calibrating
//
// Results are exactly reproducible: the same frames and settings give the same
// bytes on every machine and for every thread count.
//
// Errors are cv::Exception: `err` holds one sentence, `code` the error code
// (cv::Error::StsBadArg for a bad argument, StsOutOfRange for a setting or rate
// outside its range, StsParseError for a damaged file, StsError for a file
// that cannot be opened or written, StsNoMem), `func` the public function
// called, and what() all three. The library never prints.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/video/background_segm.hpp>

namespace dadimero {

// The settings of a Subtractor. Every field defaults to the command line's
// default; kSettingFields below says what each one means and which values the
// library accepts.
struct Settings {
    int n = 3;
    int K = 1;
    float e1 = 0.1f;
    float e2 = 0.008f;
    float e1D = 0.1f;
    float e2D = 0.00075f;
    float c1 = 0.1f;
    float c2 = 0.05f;
    int Cw = 5;
    bool shadowRemoval = true;
    float gamma = 0.7f;
    float beta = 1.0f;
    float tauS = 0.1f;
    float tauH = 10.0f;
    int shadowValue = 0;
    int threads = 0;
};

// One setting: its name (the field's, the key of the settings file and the
// Python keyword), its field, the values the library accepts and what it
// means. A number is accepted when it is finite and lies in [least, most],
// and, for a step, is least plus a whole number of steps.
struct SettingField {
    const char* name;
    std::variant<int Settings::*, float Settings::*, bool Settings::*> field;
    double least;
    double most;
    double step;           // 0: any value in the range
    const char* accepted;  // the accepted values in words, for messages
    bool fixed;  // fixes the model's layout or workers: changes only before the first frame
    const char* meaning;  // one line
};

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

// Every setting, in the order of Settings. The library refuses a value
// outside these rules, and gamma above beta, with one sentence naming the
// setting and the value. State files hold the settings in this order.
inline constexpr SettingField kSettingFields[] = {
    {"n", &Settings::n, 1, 9, 2, "1, 3, 5, 7 or 9", true,
     "block side: each pixel holds n x n weights"},
    {"K", &Settings::K, 1, kUnbounded, 1, "1 or more", false,
     "the first K - 1 frames given to apply() calibrate the models"},
    {"e1", &Settings::e1, 0, kUnbounded, 0, "0 or more", false,
     "colour distance threshold while calibrating"},
    {"e2", &Settings::e2, 0, kUnbounded, 0, "0 or more", false, "colour distance threshold online"},
    {"e1D", &Settings::e1D, 0, kUnbounded, 0, "0 or more", false,
     "depth threshold while calibrating"},
    {"e2D", &Settings::e2D, 0, kUnbounded, 0, "0 or more", false,
     "depth threshold online; 0.005 replaces it for 8-bit depth"},
    {"c1", &Settings::c1, 0, 1, 0, "between 0 and 1", false,
     "learning rate while calibrating (falls linearly towards c2)"},
    {"c2", &Settings::c2, 0, 1, 0, "between 0 and 1", false, "learning rate online"},
    {"Cw", &Settings::Cw, 3, 5, 2, "3 or 5", false, "side of the spatial majority filter: 3 or 5"},
    {"shadowRemoval", &Settings::shadowRemoval, 0, 1, 1, "true or false", false,
     "shadow removal on or off"},
    {"gamma", &Settings::gamma, 0, kUnbounded, 0, "0 or more", false,
     "shadow test: lower bound of the brightness ratio"},
    {"beta", &Settings::beta, -kUnbounded, kUnbounded, 0, "a finite number", false,
     "shadow test: upper bound of the brightness ratio, at least gamma"},
    {"tauS", &Settings::tauS, 0, kUnbounded, 0, "0 or more", false,
     "shadow test: saturation threshold"},
    {"tauH", &Settings::tauH, 0, kUnbounded, 0, "0 or more", false,
     "shadow test: hue threshold, degrees"},
    {"shadowValue", &Settings::shadowValue, 0, 254, 1, "between 0 and 254", false,
     "mask value of a shadow the final mask calls background (127 as MOG2)"},
    {"threads", &Settings::threads, 0, kUnbounded, 1, "0 or more", true,
     "worker threads; 0: cv::getNumThreads(); at most 256 and one per 16 rows of the frame; "
     "the results are the same for every value"},
};

// The initial depth background of the given depth frames (all 8-bit or all
// 16-bit, one channel, one size): per pixel inside `roi` the largest value, 0
// outside. DADI-MERO computes it from its frames ini .. min(end, 100). `roi`:
// empty = every pixel, else 8-bit one channel of the frames' size, nonzero
// inside. Throws cv::Exception for an empty list or frames that do not match.
// InitialDepthBackground builds the same background a frame at a time.
cv::Mat initialDepthBackground(const std::vector<cv::Mat>& depthFrames,
                               cv::InputArray roi = cv::noArray());

struct DepthMaximum;  // the largest samples so far (not part of the API)

// The initial depth background built a frame at a time, so that nobody holds
// the frames: add() them one by one (DADI-MERO adds its frames ini .. min(end,
// 100)), then result() gives per pixel inside the region of interest the
// largest of the frames' samples, 0 outside. A sample is a value over 2^b - 1
// for the frame's bit depth b, so 8- and 16-bit frames may even be mixed; the
// result has the first frame's type. Frames of the same bit depth give
// exactly initialDepthBackground() of them. Holds one float per pixel.
// Movable, not copyable.
class InitialDepthBackground {
  public:
    // roi: empty = every pixel, else 8-bit one channel of the frames' size,
    // nonzero inside.
    explicit InitialDepthBackground(cv::InputArray roi = cv::noArray());
    ~InitialDepthBackground();
    InitialDepthBackground(InitialDepthBackground&& other) noexcept;
    InitialDepthBackground& operator=(InitialDepthBackground&& other) noexcept;
    InitialDepthBackground(const InitialDepthBackground&) = delete;
    InitialDepthBackground& operator=(const InitialDepthBackground&) = delete;

    // Adds a depth frame, 8- or 16-bit one channel, of the size of the region
    // of interest or of the first frame. A frame that does not fit is refused
    // and changes nothing.
    void add(cv::InputArray depthFrame);
    // The background of the frames added so far; empty before the first.
    cv::Mat result() const;
    // The number of frames added.
    int frames() const;

  private:
    std::unique_ptr<DepthMaximum> maximum_;  // null once moved from
    friend class ProgramAccess;              // the door of DADI-MERO's own programs
};

// Backgrounds estimated from a few frames of the scene, for a Subtractor.
struct Backgrounds {
    cv::Mat colour;  // 8-bit BGR
    cv::Mat depth;   // empty without depth frames, else their type
};

// Per pixel the median of the colour frames (8-bit BGR, one size; for an even
// count the mean of the two middle values, rounded up) and, when depth frames
// are given, the depth background of initialDepthBackground(depthFrames).
// Moving objects vanish from the colour background where they cover a pixel
// in fewer than half of the frames.
Backgrounds estimateBackground(const std::vector<cv::Mat>& colourFrames,
                               const std::vector<cv::Mat>& depthFrames = {});

class FramePipeline;  // the model and the passes of a frame (not part of the API)

// Background subtraction frame by frame, in the manner of OpenCV's
// BackgroundSubtractor. Frames are 8-bit BGR colour images, all of one size
// and, for a subtractor that uses depth, aligned depth frames of one channel,
// 8 or 16 bits, where 0 means no measurement and larger is farther. Bad input
// throws cv::Exception; the subtractor is then unchanged.
//
// How it starts. Built with a colour background (and, for depth, a depth
// background), the first K - 1 frames given to apply() calibrate the models
// and the following ones are online. Built from settings alone, the first
// frame's colour (and depth, if that frame has one) become the backgrounds, the
// next K - 1 frames calibrate, and the following ones are online. Every
// apply() gives a mask of the frame's size: all background for the first
// frame and the calibration frames (calibrating() tells them apart), as
// OpenCV's subtractors do. With the default K = 1, a live camera gets its
// first detection from its second frame:
//
//     cv::Ptr<dadimero::Subtractor> subtractor = dadimero::createSubtractor();
//     for (cv::Mat frame, mask; camera.read(frame);) {
//         subtractor->apply(frame, mask);
//         cv::imshow("mask", mask);
//     }
//
// Where the first frames are not empty of foreground, estimateBackground() over
// a few of them gives better backgrounds to start from.
//
// Not copyable, movable. apply() allocates nothing after the first frame
// (fgmask aside, when the caller's matrix does not already have the mask's
// size and type) unless the model restarts (learning rate 1, clear()).
// Like OpenCV's subtractors, one subtractor is for one thread at a time;
// separate subtractors may run in parallel (each uses Settings::threads
// threads).
class Subtractor : public cv::BackgroundSubtractor {
  public:
    // settings: refused when they have no meaning (see Settings).
    // colourBackground: empty to take the backgrounds from the first frame,
    // else 8-bit BGR, an estimate of the empty scene; at least 5 x 5 pixels for
    // the 5 x 5 filter, 2 x 2 for the 3 x 3 one.
    // depthBackground: empty for colour alone, else 8- or 16-bit one channel of
    // the same size (see initialDepthBackground); its bit depth decides e2D
    // (below 16 bits, 0.005 replaces it) and the type of the depth model image.
    // roi: empty = every pixel, else 8-bit one channel of the frames' size,
    // nonzero inside; pixels outside are never labelled foreground and never
    // learnt.
    explicit Subtractor(const Settings& settings = Settings(),
                        cv::InputArray colourBackground = cv::noArray(),
                        cv::InputArray depthBackground = cv::noArray(),
                        cv::InputArray roi = cv::noArray());
    ~Subtractor() override;
    Subtractor(Subtractor&& other) noexcept;
    Subtractor& operator=(Subtractor&& other) noexcept;
    Subtractor(const Subtractor&) = delete;
    Subtractor& operator=(const Subtractor&) = delete;

    // A subtractor with the default settings, for cv::Algorithm::load and read.
    static cv::Ptr<Subtractor> create();

    // Colour alone: for a subtractor without depth.
    // fgmask receives the mask, 8-bit one channel of the frame's size: online
    // the final mask, 255 foreground, 0 background and Settings::shadowValue
    // for a shadow the mask calls background; all 0 for the first frame of a
    // subtractor built from settings alone and while calibrating.
    // learningRate, as OpenCV documents it:
    //   < 0: the settings' rates (c1 falling to c2 while calibrating, then c2);
    //   0: the models do not learn from this frame;
    //   between 0 and 1: this frame learns as with that value for c: a weight
    //     moves learningRate x kernel(i, j) / (n + 1) of the way towards the
    //     pixel (for n of 3 to 9 the centre of the window moves learningRate
    //     of the way);
    //   1: the models start afresh from this frame, which becomes their
    //     background (the mask is all 0); the next frame is detected against
    //     it, without a new calibration;
    //   above 1 or NaN: refused (StsOutOfRange).
    void apply(cv::InputArray colour, cv::OutputArray fgmask, double learningRate = -1) override;
    // Colour and depth: for a subtractor that uses depth (built with a depth
    // background, or from settings alone and given depth with its first frame).
    void apply(cv::InputArray colour, cv::InputArray depth, cv::OutputArray fgmask,
               double learningRate = -1);

    // Frame-size 8-bit BGR picture of the colour model: for every pixel the
    // centre weight of its block, the weight a background pixel pulls hardest.
    // Empty before the first frame of a subtractor built from settings alone.
    void getBackgroundImage(cv::OutputArray backgroundImage) const override;

    // True while the next apply() gives an all-background mask without
    // detecting: the first frame of a subtractor built from settings alone,
    // and the calibration frames.
    bool calibrating() const;
    bool usesDepth() const;

    // The colour mask and the depth mask of the last online frame, before
    // fusion and filtering (frame size, 8-bit); empty before the first online
    // frame, and the depth mask also without depth. 0/255, or with
    // labelCodes the labels themselves: colour 0 background, 85 shadow, 255
    // foreground; depth 0 background, 127 undecided (no measurement or no
    // model), 255 foreground.
    void getColourMask(cv::OutputArray mask, bool labelCodes = false) const;
    void getDepthMask(cv::OutputArray mask, bool labelCodes = false) const;

    // The models, one pixel per weight: (W*n) x (H*n) pictures in which pixel
    // (r, c) shows as the n x n tile of its block. Colour: 8-bit BGR. Depth:
    // the depth background's type, a weight w stored as w x 2^bits, rounded
    // and saturated (empty without depth). Empty before the first frame of a
    // subtractor built from settings alone.
    void getColourModelImage(cv::OutputArray image) const;
    void getDepthModelImage(cv::OutputArray image) const;

    // Starts the depth model afresh from a new depth background, as the
    // constructor does (its bit depth decides e2D). For a subtractor that uses
    // depth; the colour model and the frame count stay.
    void setDepthBackground(cv::InputArray depthBackground);

    // The settings. Every one but n and threads may change between frames;
    // n and threads only before the first frame of a subtractor built from
    // settings alone. A setting without meaning is refused and changes
    // nothing.
    Settings getSettings() const;
    void setSettings(const Settings& settings);
    int getN() const;
    int getThreads() const;
    int getK() const;
    void setK(int K);
    float getE1() const;
    void setE1(float e1);
    float getE2() const;
    void setE2(float e2);
    float getE1D() const;
    void setE1D(float e1D);
    float getE2D() const;
    void setE2D(float e2D);
    float getC1() const;
    void setC1(float c1);
    float getC2() const;
    void setC2(float c2);
    int getCw() const;
    void setCw(int Cw);
    bool getShadowRemoval() const;
    void setShadowRemoval(bool shadowRemoval);
    float getGamma() const;
    void setGamma(float gamma);
    float getBeta() const;
    void setBeta(float beta);
    float getTauS() const;
    void setTauS(float tauS);
    float getTauH() const;
    void setTauH(float tauH);
    int getShadowValue() const;
    void setShadowValue(int shadowValue);

    // The settings through cv::FileStorage, one key per Settings field:
    // save("settings.yml") writes them, read() of that node (or
    // cv::Algorithm::load<dadimero::Subtractor>) gives them back. read() takes
    // the keys it finds and keeps the others, as setSettings does, and refuses
    // a node with a key no setting has (another algorithm's settings).
    void write(cv::FileStorage& fs) const override;
    using cv::Algorithm::write;
    void read(const cv::FileNode& fn) override;

    // The settings in a file, as save() and cv::Algorithm::load write and read
    // it (YAML; XML or JSON for a name ending in .xml or .json), under
    // getDefaultName(). saveSettings() writes the file whole or not at all (see
    // saveState); both refuse anything but a regular file, and loadSettings()
    // a file over 1 MiB.
    void saveSettings(const cv::String& filename) const;
    void loadSettings(const cv::String& filename);

    // Returns the model to its starting state: the backgrounds it was built
    // with (the last depth background set), or, for a subtractor built from
    // settings alone, waiting for its first frame; calibration starts again.
    // The settings stay.
    void clear() override;

    // The whole state, settings and region of interest included, in a binary
    // file a little larger than the model: a subtractor that loads it
    // continues with exactly the masks the saved one would have given.
    // saveState() writes a temporary file beside `filename`, syncs it and
    // renames it over `filename`, so that a crash, a full disk or an error at
    // any moment leaves the previous file whole; any failure throws. Only a
    // regular file is ever read or replaced (a link to one is followed).
    // loadState() keeps this subtractor's thread count and refuses, leaving
    // the subtractor unchanged, a file that is damaged, truncated, of another
    // version, or for another image size than this subtractor's (when it has
    // one: a model or a region of interest); every size in the file is
    // checked against the file's length before anything is allocated.
    void saveState(const cv::String& filename) const;
    void loadState(const cv::String& filename);
    // The same state in a stream (for example a std::stringstream); messages
    // name it "the state". A stream whose length cannot be found (a pipe) is
    // read as far as its header says.
    void saveState(std::ostream& out) const;
    void loadState(std::istream& in);

    bool empty() const override;                 // true only for a moved-from subtractor
    cv::String getDefaultName() const override;  // "dadimero_Subtractor"

  private:
    struct Setup;
    // Builds the subtractor of `setup`, whose settings have been checked.
    void construct(std::unique_ptr<Setup> setup, cv::InputArray colourBackground,
                   cv::InputArray depthBackground);
    void startFrom(const cv::Mat& colourBackground, const cv::Mat& depthBackground,
                   const char* what);
    const Settings& currentSettings() const;
    void changeSettings(const Settings& settings);
    // The state through a stream; `name` names it in messages, `length` is
    // the bytes left in it (-1: unknown), all of them the state's with
    // `exactLength`.
    void saveStateTo(std::ostream& out, const std::string& name) const;
    void loadStateFrom(std::istream& in, int64_t length, bool exactLength, const std::string& name);
    void applyFrame(const cv::Mat& colour, const cv::Mat& depth, cv::OutputArray fgmask,
                    double learningRate);

    std::unique_ptr<Setup> setup_;  // settings, region and backgrounds; null once moved from
    std::unique_ptr<FramePipeline> pipeline_;  // the model; null before the first frame
    friend cv::Ptr<Subtractor> createSubtractor(const Settings& settings,
                                                cv::InputArray colourBackground,
                                                cv::InputArray depthBackground, cv::InputArray roi);
    friend class ProgramAccess;  // the door of DADI-MERO's own programs
};

// A subtractor for the settings and backgrounds given (see the constructor).
cv::Ptr<Subtractor> createSubtractor(const Settings& settings = Settings(),
                                     cv::InputArray colourBackground = cv::noArray(),
                                     cv::InputArray depthBackground = cv::noArray(),
                                     cv::InputArray roi = cv::noArray());

}  // namespace dadimero
