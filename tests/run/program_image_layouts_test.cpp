// End-to-end tests of frames stored in other layouts than the plain ones:
// colour frames in grey, 16 bits or with alpha are read as 8-bit three-channel
// images, and depth frames with three or four channels are read as one channel.
// Where that conversion is exact, the masks equal those of the plain files.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "support/sequence_fixture.hpp"

namespace fs = std::filesystem;

namespace {

using Layout = std::function<cv::Mat(const cv::Mat&)>;

cv::Mat greyOf(const cv::Mat& bgr) {
    cv::Mat grey(bgr.rows, bgr.cols, CV_8UC1);
    for (int r = 0; r < bgr.rows; ++r) {
        for (int c = 0; c < bgr.cols; ++c) {
            const cv::Vec3b p = bgr.at<cv::Vec3b>(r, c);
            grey.at<uint8_t>(r, c) = static_cast<uint8_t>((p[0] + 2 * p[1] + p[2]) / 4);
        }
    }
    return grey;
}

cv::Mat repeatChannels(const cv::Mat& single, int channels) {
    std::vector<cv::Mat> planes(channels, single);
    cv::Mat merged;
    cv::merge(planes, merged);
    return merged;
}

cv::Mat withAlpha(const cv::Mat& bgr, uint8_t alpha) {
    std::vector<cv::Mat> planes;
    cv::split(bgr, planes);
    planes.emplace_back(bgr.rows, bgr.cols, CV_8UC1, cv::Scalar(alpha));
    cv::Mat merged;
    cv::merge(planes, merged);
    return merged;
}

// v * 257 in 16 bits: its high byte, and its value scaled to 8 bits, are v.
cv::Mat widened(const cv::Mat& image) {
    cv::Mat wide;
    image.convertTo(wide, CV_MAKETYPE(CV_16U, image.channels()), 257.0);
    return wide;
}

struct ImageLayoutFixture : SequenceFixture {
    std::vector<int> frames() const {
        std::vector<int> all;
        for (int f = 1; f <= plan.frames; ++f)
            all.push_back(f);
        return all;
    }
    // Rewrites the background and every colour frame from the generated image.
    void storeColour(const Layout& layout) {
        writeImage(seq() / "CinitImageL.png", layout(sequenceBackground(plan)));
        for (int f : frames())
            writeImage(seq() / "input" / frameFile("in", f), layout(sequenceColourFrame(plan, f)));
    }
    void storeDepth(const Layout& layout) {
        for (int f : frames())
            writeImage(seq() / "depth" / frameFile("d", f), layout(sequenceDepthFrame(plan, f)));
    }
    // The report and every mask (colour, depth and fused) of a run.
    std::pair<std::string, std::vector<std::pair<std::string, std::string>>> outcome() {
        clearOutput();
        const ProgramRun result = run({"-l", "1"});
        EXPECT_EQ(result.exitCode, 0) << result.out;
        EXPECT_EQ(result.err, "");
        return {result.out, fileContents(out())};
    }
};

}  // namespace

TEST_F(ImageLayoutFixture, GreyColourFramesGiveTheMasksOfThreeEqualChannels) {
    writeSequence(seq(), plan);
    storeColour([](const cv::Mat& bgr) { return repeatChannels(greyOf(bgr), 3); });
    const auto reference = outcome();
    ASSERT_EQ(reference.second.size(), 24u);

    const std::vector<std::pair<const char*, Layout>> layouts = {
        {"8-bit grey", [](const cv::Mat& bgr) { return greyOf(bgr); }},
        {"16-bit grey", [](const cv::Mat& bgr) { return widened(greyOf(bgr)); }},
        {"16-bit three channels",
         [](const cv::Mat& bgr) { return widened(repeatChannels(greyOf(bgr), 3)); }},
        {"grey with alpha",
         [](const cv::Mat& bgr) { return withAlpha(repeatChannels(greyOf(bgr), 3), 255); }},
    };
    for (const auto& [name, layout] : layouts) {
        storeColour(layout);
        EXPECT_EQ(outcome(), reference) << name;
    }
}

TEST_F(ImageLayoutFixture, ColourFramesWithAlphaOr16BitsGiveTheMasksOfPlainFrames) {
    writeSequence(seq(), plan);
    const auto reference = outcome();
    // Alpha is dropped, whatever its value: it is not coverage of a background.
    const std::vector<std::pair<const char*, Layout>> layouts = {
        {"opaque alpha", [](const cv::Mat& bgr) { return withAlpha(bgr, 255); }},
        {"transparent alpha", [](const cv::Mat& bgr) { return withAlpha(bgr, 0); }},
        {"16 bits", [](const cv::Mat& bgr) { return widened(bgr); }},
    };
    for (const auto& [name, layout] : layouts) {
        storeColour(layout);
        EXPECT_EQ(outcome(), reference) << name;
    }
}

TEST_F(ImageLayoutFixture, DepthFramesWithSeveralEqualChannelsGiveTheMasksOfOneChannel) {
    for (int bits : {16, 8}) {
        plan.depthBits = bits;
        writeSequence(seq(), plan);
        const auto reference = outcome();
        for (int channels : {3, 4}) {
            storeDepth([channels](const cv::Mat& d) { return repeatChannels(d, channels); });
            EXPECT_EQ(outcome(), reference) << bits << " bits, " << channels << " channels";
        }
    }
}

TEST_F(ImageLayoutFixture, JpegColourFramesAreReadWhereNoPngIs) {
    writeSequence(seq(), plan);
    // Every colour frame as JPEG only, the third missing altogether.
    for (int f : frames()) {
        const fs::path png = seq() / "input" / frameFile("in", f);
        writeImage(fs::path(png).replace_extension(".jpg"), sequenceColourFrame(plan, f));
        fs::remove(png);
    }
    const fs::path third = fs::path(seq() / "input" / frameFile("in", 3)).replace_extension(".jpg");
    fs::rename(third, dir / "third.jpg");
    ProgramRun missing = run({});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(lastLine(missing.out),
              "Unable to read expected RGB file " + prefix() + "/input/in000003.png\n");
    fs::rename(dir / "third.jpg", third);
    const auto fromJpeg = outcome();
    // The same pixels as PNG files give the same masks.
    for (int f : frames()) {
        const fs::path jpeg =
            fs::path(seq() / "input" / frameFile("in", f)).replace_extension(".jpg");
        writeImage(seq() / "input" / frameFile("in", f),
                   cv::imread(jpeg.string(), cv::IMREAD_COLOR));
        fs::remove(jpeg);
    }
    EXPECT_EQ(outcome(), fromJpeg);
    // A JPEG beside the PNG of a frame (a red one here) is not read.
    writeImage(third, cv::Mat(plan.height, plan.width, CV_8UC3, cv::Scalar(0, 0, 255)));
    EXPECT_EQ(outcome(), fromJpeg);
}
