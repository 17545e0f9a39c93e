// The door through which DADI-MERO's own programs (the command line and the
// benchmark) reach what the library keeps from its users: the command line's
// rules and outputs, and the clocks of the stages. The programs include the
// public header, this folder and their own folders, never the library's
// sources (the build checks it). Not part of the API, and not installed.
#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "dadimero/dadimero.hpp"
#include "dadimero/internal/stage_times.hpp"

namespace dadimero {

// How a program builds a subtractor, in one value.
struct ProgramOptions {
    Settings settings;
    // The command line's rules, which it has always had: only n and threads
    // are checked, every other value is taken as it is (Cw other than 5 is
    // the 3 x 3 filter), and threads below 1 mean one per core.
    bool commandLineRules = false;
    // Whether the subtractor keeps copies of its backgrounds, for clear() and
    // saved states. The command line, which never returns to them, keeps none.
    bool keepBackgrounds = true;
    // The clocks the subtractor adds the time of its stages to; null for none.
    // They must outlive the subtractor's use of them.
    StageTimes* times = nullptr;
};

// Threads the system would not start: thrown as the library's other errors
// (a cv::Exception, StsNoMem, "cannot start 230 threads: Resource temporarily
// unavailable"), and of its own type so that the command line can tell it from
// a model too large.
struct ThreadStartError : cv::Exception {
    ThreadStartError(int threadCount, const std::string& sentence);
    int threads;
};

class ProgramAccess {
  public:
    // A subtractor as the constructor builds it, by the options' rules. Its
    // errors name no public function; one that does not fit in memory throws
    // StsNoMem (or std::bad_alloc), one whose threads the system will not start
    // ThreadStartError.
    static Subtractor makeSubtractor(const ProgramOptions& options, cv::InputArray colourBackground,
                                     cv::InputArray depthBackground = cv::noArray(),
                                     cv::InputArray roi = cv::noArray());

    // The initial depth background as the command line's DinitImage.png shows
    // it: every sample s stored as s x 2^b for the first frame's bit depth b,
    // rounded and saturated, as the depth model's picture stores its weights.
    static cv::Mat initialDepthPicture(const InitialDepthBackground& background);

    // The threads the subtractor's passes run on: its threads setting, at most
    // one per 16 rows of its frames; 0 before the first frame of a subtractor
    // built from settings alone.
    static int workerThreads(const Subtractor& subtractor);

    // Whether n is a block side the models have: 1, 3, 5, 7 or 9.
    static bool isBlockSide(int n);
    // The least width and height of an image the spatial filter of `Cw` takes
    // (any Cw but 5 is the 3 x 3 filter).
    static int smallestSide(int Cw);
    // Whether the library takes `image` as a depth frame: 8- or 16-bit, one
    // channel.
    static bool isDepthImage(const cv::Mat& image);
};

}  // namespace dadimero
