// The library's public API: what it refuses, and what no thread count changes.
#include "dadimero/dadimero.hpp"

#include <cmath>
#include <functional>
#include <type_traits>

#include <gtest/gtest.h>

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
        EXPECT_EQ(a.empty(), f < 4) << f;  // frames 2 and 3 calibrate (K = 3)
        EXPECT_TRUE(equal(a, b) && equal(c, d)) << f;
    }
    dadimero::Subtractor moved = std::move(colourOnly);
    EXPECT_TRUE(colourOnly.empty());
    EXPECT_EQ(errorOf([&] { colourOnly.apply(frames.colour(9), mask); }),
              "this subtractor was moved from");
}

TEST(SubtractorTest, EveryThreadCountGivesTheSameMasksAndModels) {
    const Frames frames;
    const std::vector<cv::Mat> one = runAll(frames, 1);
    ASSERT_EQ(one.size(), 13u);
    EXPECT_TRUE(one[1].empty());  // frames 2 .. 4 calibrate
    EXPECT_FALSE(one[3].empty());
    EXPECT_GT(cv::countNonZero(one[10]), 0);  // the moving square is found
    for (int threads : {2, 3}) {
        const std::vector<cv::Mat> other = runAll(frames, threads);
        ASSERT_EQ(other.size(), one.size());
        for (size_t i = 0; i < one.size(); ++i)
            EXPECT_TRUE(equal(one[i], other[i])) << threads << " threads, output " << i;
    }
}

TEST(SubtractorTest, LearningRateZeroFreezesTheModelsAndOneTakesTheFrame) {
    const Frames frames;
    dadimero::Settings settings;
    dadimero::Subtractor subtractor(settings, frames.background, frames.depthBackground);
    EXPECT_FALSE(subtractor.calibrating());
    // The empty room a little brighter: background everywhere, worth learning.
    const cv::Mat brighter = frames.background + cv::Scalar(4, 4, 4);
    cv::Mat before, after, background, mask;
    subtractor.getBackgroundImage(before);
    EXPECT_TRUE(equal(before, frames.background));
    subtractor.apply(brighter, frames.depthBackground, mask, 0.0);
    EXPECT_EQ(cv::countNonZero(mask), 0);
    subtractor.getBackgroundImage(after);
    EXPECT_TRUE(equal(before, after));
    // With a rate of 1 the centre weights move all the way to the frame.
    subtractor.apply(brighter, frames.depthBackground, mask, 1.0);
    subtractor.getBackgroundImage(after);
    EXPECT_TRUE(equal(after, brighter));
}
