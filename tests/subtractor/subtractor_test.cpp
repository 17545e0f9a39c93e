// The library's public API: what it refuses, and what no thread count changes.
#include "dadimero/dadimero.hpp"

#include <cmath>
#include <functional>
#include <type_traits>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "support/test_sequence.hpp"

namespace {

// The error text of `call`, which must throw cv::Exception; "" when it does not.
template <typename Call>
std::string errorOf(Call&& call) {
    try {
        call();
    } catch (const cv::Exception& e) {
        return e.err;
    }
    return "";
}

struct Frames {
    SequencePlan plan;
    cv::Mat background = sequenceBackground(plan);
    cv::Mat depthBackground = sequenceDepthFrame(plan, 1);
    cv::Mat colour(int f) const { return sequenceColourFrame(plan, f); }
    cv::Mat depth(int f) const { return sequenceDepthFrame(plan, f); }
};

// Every mask and the final model images of frames 2 .. 12 with `threads`.
std::vector<cv::Mat> runAll(const Frames& frames, int threads) {
    dadimero::Settings settings;
    settings.K = 4;
    settings.threads = threads;
    dadimero::Subtractor subtractor(settings, frames.background, frames.depthBackground);
    std::vector<cv::Mat> outputs;
    for (int f = 2; f <= 12; ++f) {
        cv::Mat mask;
        subtractor.apply(frames.colour(f), frames.depth(f), mask);
        outputs.push_back(mask);
    }
    cv::Mat colourModel, depthModel;
    subtractor.getColourModelImage(colourModel);
    subtractor.getDepthModelImage(depthModel);
    outputs.push_back(colourModel);
    outputs.push_back(depthModel);
    return outputs;
}

bool equal(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && (a.empty() || cv::norm(a, b) == 0.0);
}

}  // namespace

TEST(SubtractorTest, BadInputThrowsOneClearSentenceAndChangesNothing) {
    static_assert(!std::is_copy_constructible_v<dadimero::Subtractor>);
    static_assert(std::is_nothrow_move_constructible_v<dadimero::Subtractor>);
    const Frames frames;
    const cv::Mat& bg = frames.background;
    dadimero::Settings settings;
    settings.K = 3;

    dadimero::Settings badN = settings;
    badN.n = 4;
    EXPECT_EQ(errorOf([&] { dadimero::Subtractor(badN, bg); }), "n must be 1, 3, 5, 7 or 9, got 4");
    EXPECT_EQ(errorOf([&] { dadimero::Subtractor(settings, cv::Mat(bg.size(), CV_8UC1)); }),
              "the colour background must be 8-bit BGR with 3 channels, got 8-bit unsigned with "
              "1 channel");
    EXPECT_EQ(errorOf([&] { dadimero::Subtractor(settings, bg(cv::Rect(0, 0, 4, 4))); }),
              "the colour background is 4x4, smaller than the 5x5 the spatial filter needs");
    EXPECT_EQ(errorOf([&] { dadimero::Subtractor(settings, bg, cv::Mat(bg.size(), CV_32FC1)); }),
              "the depth background must be 8- or 16-bit unsigned with 1 channel, got 32-bit "
              "float with 1 channel");
    EXPECT_EQ(
        errorOf([&] { dadimero::Subtractor(settings, bg, cv::noArray(), cv::Mat(3, 3, CV_8UC1)); }),
        "the region of interest is 3x3, expected 24x18");
    EXPECT_NE(errorOf([&] { dadimero::initialDepthBackground({}); }), "");
    EXPECT_EQ(errorOf([&] {
                  dadimero::initialDepthBackground(
                      {frames.depth(1), cv::Mat(bg.size(), CV_8UC1, cv::Scalar(1))});
              }),
              "depth frame 1 has another bit depth than the first; all must be 8-bit or all "
              "16-bit");

    // A colour-only and an RGB-D subtractor, each fed bad frames between good
    // ones, end with the masks of subtractors fed only the good frames.
    dadimero::Subtractor colourOnly(settings, bg);
    dadimero::Subtractor withDepth(settings, bg, frames.depthBackground);
    cv::Mat mask(2, 2, CV_8UC1);
    const std::vector<std::pair<std::string, std::function<void()>>> misuse = {
        {"the colour frame is 23x18, expected 24x18",
         [&] { colourOnly.apply(frames.colour(2).colRange(0, 23), mask); }},
        {"the colour frame must be 8-bit BGR with 3 channels, got 16-bit unsigned with 3 channels",
         [&] { colourOnly.apply(cv::Mat(bg.size(), CV_16UC3), mask); }},
        {"the colour frame must be 8-bit BGR with 3 channels, got 8-bit unsigned with 4 channels",
         [&] { colourOnly.apply(cv::Mat(bg.size(), CV_8UC4), mask); }},
        {"a depth frame was given to a subtractor without depth",
         [&] { colourOnly.apply(frames.colour(2), frames.depth(2), mask); }},
        {"this subtractor uses depth: give the depth frame with the colour frame",
         [&] { withDepth.apply(frames.colour(2), mask); }},
        {"the depth frame must be 8- or 16-bit unsigned with 1 channel, got 16-bit unsigned with "
         "3 channels",
         [&] { withDepth.apply(frames.colour(2), cv::Mat(bg.size(), CV_16UC3), mask); }},
        {"the learning rate must be negative (automatic) or between 0 and 1, got nan",
         [&] { colourOnly.apply(frames.colour(2), mask, std::nan("")); }},
        {"the learning rate must be negative (automatic) or between 0 and 1, got 2",
         [&] { colourOnly.apply(frames.colour(2), mask, 2.0); }},
    };
    // what() has the sentence, the error code and the public function, no source path.
    try {
        colourOnly.apply(frames.colour(2).colRange(0, 23), mask);
    } catch (const cv::Exception& e) {
        EXPECT_STREQ(e.what(),
                     "the colour frame is 23x18, expected 24x18 (StsBadArg in "
                     "dadimero::Subtractor::apply)");
    }
    for (const auto& [expected, call] : misuse) {
        EXPECT_EQ(errorOf(call), expected);
        EXPECT_EQ(mask.size(), cv::Size(2, 2)) << expected;  // the output is left alone
    }
    dadimero::Subtractor colourReference(settings, bg);
    dadimero::Subtractor depthReference(settings, bg, frames.depthBackground);
    for (int f = 2; f <= 8; ++f) {
        cv::Mat a, b, c, d;
        colourOnly.apply(frames.colour(f), a);
        colourReference.apply(frames.colour(f), b);
        withDepth.apply(frames.colour(f), frames.depth(f), c);
        depthReference.apply(frames.colour(f), frames.depth(f), d);
        // Frames 2 and 3 calibrate (K = 3): their masks are all background.
        EXPECT_EQ(a.size(), bg.size()) << f;
        if (f < 4) {
            EXPECT_EQ(cv::countNonZero(a) + cv::countNonZero(c), 0) << f;
        }
        EXPECT_TRUE(equal(a, b) && equal(c, d)) << f;
    }
    dadimero::Subtractor moved = std::move(colourOnly);
    EXPECT_TRUE(colourOnly.empty());
    EXPECT_EQ(errorOf([&] { colourOnly.apply(frames.colour(9), mask); }),
              "this subtractor was moved from");
}

// Frames added one at a time give per pixel the largest value inside the
// region and 0 outside, as the whole list does; a frame of the other bit depth
// counts by its samples; a frame that does not fit is refused and changes
// nothing.
TEST(SubtractorTest, InitialDepthBackgroundBuiltFrameByFrameEqualsTheWholeList) {
    static_assert(!std::is_copy_constructible_v<dadimero::InitialDepthBackground>);
    static_assert(std::is_nothrow_move_constructible_v<dadimero::InitialDepthBackground>);
    const cv::Size size(24, 18);
    cv::RNG random(5);
    std::vector<cv::Mat> frames;
    for (int f = 0; f < 7; ++f) {
        cv::Mat frame(size, CV_16UC1);
        random.fill(frame, cv::RNG::UNIFORM, 0, 65536);
        frame(cv::Rect(0, 0, 3, 3)).setTo(0);  // never measured
        frames.push_back(frame);
    }
    cv::Mat roi(size, CV_8UC1, cv::Scalar(255));
    roi(cv::Rect(5, 2, 7, 9)).setTo(0);
    for (const cv::Mat& region : {cv::Mat(), roi}) {
        cv::Mat largest = frames[0].clone();
        for (const cv::Mat& frame : frames)
            largest = cv::max(largest, frame);
        if (!region.empty()) largest.setTo(0, region == 0);

        dadimero::InitialDepthBackground streamed(region);
        EXPECT_TRUE(streamed.result().empty());
        for (const cv::Mat& frame : frames)
            streamed.add(frame);
        EXPECT_EQ(streamed.frames(), 7);
        EXPECT_TRUE(equal(streamed.result(), largest));
        EXPECT_TRUE(equal(dadimero::initialDepthBackground(frames, region), largest));
    }

    // 100 / 255 against 65535 / 65535 and 12850 / 65535 (= 50 / 255), in the
    // first frame's 8 bits.
    dadimero::InitialDepthBackground mixed;
    mixed.add(cv::Mat(1, 2, CV_8UC1, cv::Scalar(100)));
    mixed.add(cv::Mat((cv::Mat_<uint16_t>(1, 2) << 65535, 12850)));
    EXPECT_TRUE(equal(mixed.result(), (cv::Mat_<uint8_t>(1, 2) << 255, 100)));

    dadimero::InitialDepthBackground refusing;
    refusing.add(frames[0]);
    EXPECT_EQ(errorOf([&] { refusing.add(frames[1].colRange(0, 23)); }),
              "depth frame 1 is 23x18, expected 24x18");
    EXPECT_EQ(errorOf([&] { refusing.add(cv::Mat(size, CV_32FC1)); }),
              "depth frame 1 must be 8- or 16-bit unsigned with 1 channel, got 32-bit float with "
              "1 channel");
    EXPECT_EQ(refusing.frames(), 1);
    EXPECT_TRUE(equal(refusing.result(), frames[0]));
    EXPECT_EQ(errorOf([&] { dadimero::InitialDepthBackground(roi).add(frames[0].rowRange(0, 9)); }),
              "the first depth frame is 24x9, expected 24x18");
    EXPECT_EQ(errorOf([&] { dadimero::InitialDepthBackground{cv::Mat(size, CV_16UC1)}; }),
              "the region of interest must be 8-bit with 1 channel, got 16-bit unsigned with 1 "
              "channel");
    dadimero::InitialDepthBackground taken = std::move(refusing);
    EXPECT_EQ(taken.frames(), 1);
    EXPECT_EQ(errorOf([&] { refusing.add(frames[0]); }),
              "this initial depth background was moved from");
}

TEST(SubtractorTest, EveryThreadCountGivesTheSameMasksAndModels) {
    const Frames frames;
    const std::vector<cv::Mat> one = runAll(frames, 1);
    ASSERT_EQ(one.size(), 13u);
    EXPECT_EQ(cv::countNonZero(one[1]), 0);   // frames 2 .. 4 calibrate
    EXPECT_GT(cv::countNonZero(one[10]), 0);  // the moving square is found
    for (int threads : {2, 3}) {
        const std::vector<cv::Mat> other = runAll(frames, threads);
        ASSERT_EQ(other.size(), one.size());
        for (size_t i = 0; i < one.size(); ++i)
            EXPECT_TRUE(equal(one[i], other[i])) << threads << " threads, output " << i;
    }
}

TEST(SubtractorTest, LearningRateZeroFreezesTheModelsAndOneRestartsThemFromTheFrame) {
    const Frames frames;
    dadimero::Settings settings;
    settings.K = 5;
    dadimero::Subtractor subtractor(settings, frames.background, frames.depthBackground);
    // The empty room a little brighter: background everywhere, worth learning.
    const cv::Mat brighter = frames.background + cv::Scalar(4, 4, 4);
    cv::Mat before, after, background, mask;
    subtractor.getBackgroundImage(before);
    EXPECT_TRUE(equal(before, frames.background));
    subtractor.apply(brighter, frames.depthBackground, mask, 0.0);
    subtractor.getBackgroundImage(after);
    EXPECT_TRUE(equal(before, after));
    // With a rate of 1 the frame becomes the model, with no calibration after it.
    ASSERT_TRUE(subtractor.calibrating());
    subtractor.apply(brighter, frames.depthBackground, mask, 1.0);
    EXPECT_EQ(cv::countNonZero(mask), 0);
    EXPECT_FALSE(subtractor.calibrating());
    subtractor.getBackgroundImage(after);
    EXPECT_TRUE(equal(after, brighter));
    dadimero::Settings once = settings;
    once.K = 1;
    dadimero::Subtractor fresh(once, brighter, frames.depthBackground);
    cv::Mat expected;
    subtractor.apply(frames.colour(12), frames.depth(12), mask);
    fresh.apply(frames.colour(12), frames.depth(12), expected);
    EXPECT_GT(cv::countNonZero(mask), 0);  // the moving square
    EXPECT_TRUE(equal(mask, expected));
}

// An OpenCV user's loop, written against cv::BackgroundSubtractor: MOG2 and
// this subtractor each give a mask of the frame's size from the first frame
// on, which the rest of the loop takes as it is.
TEST(SubtractorTest, AnOpenCvLoopRunsFromTheFirstFrameWithMog2OrThisSubtractor) {
    const Frames frames;
    for (const bool ours : {false, true}) {
        const cv::Ptr<cv::BackgroundSubtractor> subtractor =
            ours ? cv::Ptr<cv::BackgroundSubtractor>(dadimero::createSubtractor())
                 : cv::Ptr<cv::BackgroundSubtractor>(cv::createBackgroundSubtractorMOG2());
        int found = 0;
        for (int f = 1; f <= 12; ++f) {
            cv::Mat foreground, cleaned;
            subtractor->apply(frames.colour(f), foreground);
            ASSERT_EQ(foreground.size(), frames.background.size()) << ours << " " << f;
            ASSERT_EQ(foreground.type(), CV_8UC1) << ours << " " << f;
            cv::morphologyEx(foreground > 200, cleaned, cv::MORPH_CLOSE, cv::Mat());
            found += cv::countNonZero(cleaned);
        }
        cv::Mat background;
        subtractor->getBackgroundImage(background);
        EXPECT_EQ(background.size(), frames.background.size()) << ours;
        if (ours) {
            EXPECT_GT(found, 0);
        }
    }
}
