#include "sequence_scoring.hpp"

#include <cstdint>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "image_files.hpp"

#include "ground_truth_labels.hpp"

namespace {

cv::Mat readGrey(const std::filesystem::path& path, const char* what) {
    // DADI-MERO's reader keeps the codecs' own complaints off the terminal;
    // the error below is the one line the user sees. Grey at the file's own
    // bit depth: a 16-bit file keeps its values.
    const cv::Mat image = dadimero::readImage(path.string(), cv::IMREAD_ANYDEPTH);
    if (image.empty()) {
        const bool exists = std::filesystem::exists(path);
        throw std::runtime_error(std::string(exists ? "cannot read " : "missing ") + what + " " +
                                 path.string());
    }
    return image;
}

// A mask or region of interest at any bit depth, as 8 bits where nonzero
// stays nonzero.
cv::Mat readNonzero(const std::filesystem::path& path, const char* what) {
    const cv::Mat image = readGrey(path, what);
    if (image.depth() == CV_8U) return image;
    const cv::Mat nonzero = image != 0;
    return nonzero;
}

constexpr const char* kLabels = "(0, 50, 85, 170, 255)";

// Ground truth holds 8-bit labels only: another bit depth or value would be
// scored as a label it is not.
cv::Mat readGroundTruth(const std::filesystem::path& path) {
    const cv::Mat image = readGrey(path, "ground truth");
    if (image.depth() != CV_8U) {
        throw std::runtime_error(path.string() + " is not 8-bit; ground truth labels are 8-bit " +
                                 kLabels);
    }
    bool present[256] = {};
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* row = image.ptr<uint8_t>(y);
        for (int x = 0; x < image.cols; ++x)
            present[row[x]] = true;
    }
    std::string unknown;
    int listed = 0;
    for (int value = 0; value < 256; ++value) {
        if (!present[value] || value == GT_STATIC || value == GT_HARD_SHADOW ||
            value == GT_OUTSIDE_ROI || value == GT_UNKNOWN || value == GT_MOVING) {
            continue;
        }
        if (listed++ == 8) {
            unknown += ", ...";
            break;
        }
        unknown += (unknown.empty() ? "" : ", ") + std::to_string(value);
    }
    if (!unknown.empty()) {
        throw std::runtime_error(path.string() + " holds " + unknown +
                                 ", not ground truth labels " + kLabels);
    }
    return image;
}

void requireSize(const cv::Mat& image, const cv::Size& size, const std::filesystem::path& path) {
    if (image.size() == size) return;
    throw std::runtime_error(path.string() + " is " + std::to_string(image.cols) + "x" +
                             std::to_string(image.rows) + ", expected " +
                             std::to_string(size.width) + "x" + std::to_string(size.height));
}

}  // namespace

SequenceScore scoreSequence(const std::filesystem::path& sequence,
                            const std::filesystem::path& masks,
                            const std::optional<EvaluatedRange>& frames) {
    SequenceScore score;
    score.sequence = sequence.string();
    score.masks = masks.string();
    const dadimero::SequenceDirectory directory(sequence);
    const EvaluatedRange range = frames ? *frames : readEvaluatedRange(sequence);
    if (range.empty()) {
        const std::string where = frames ? "" : " (" + directory.temporalRange().string() + ")";
        throw NothingToScore("no frames in range " + std::to_string(range.first) + ".." +
                             std::to_string(range.last) + where);
    }
    const std::filesystem::path roiPath = directory.regionOfInterest();
    const cv::Mat roi = readNonzero(roiPath, "region of interest");
    for (int64_t frame = range.first; frame <= range.last; ++frame) {
        const std::filesystem::path gtPath = directory.groundTruth(frame);
        const std::filesystem::path binPath = dadimero::maskPath(masks, frame);
        const cv::Mat groundTruth = readGroundTruth(gtPath);
        const cv::Mat mask = readNonzero(binPath, "mask");
        requireSize(groundTruth, roi.size(), gtPath);
        requireSize(mask, roi.size(), binPath);
        FrameCounts counts{frame, {}};
        addFrame(mask, groundTruth, roi, counts.counts);
        score.counts += counts.counts;
        score.perFrame.push_back(counts);
        ++score.frames;
    }
    score.measures = measuresOf(score.counts);
    return score;
}
