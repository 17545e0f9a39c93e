#include "sequence_scoring.hpp"

#include <cstdint>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "image_files.hpp"

namespace {

cv::Mat readGrey(const std::filesystem::path& path, const char* what) {
    // DADI-MERO's reader keeps the codecs' own complaints off the terminal;
    // the error below is the one line the user sees.
    const cv::Mat image = dadimero::readImage(path.string(), cv::IMREAD_GRAYSCALE);
    if (image.empty()) {
        const bool exists = std::filesystem::exists(path);
        throw std::runtime_error(std::string(exists ? "cannot read " : "missing ") + what + " " +
                                 path.string());
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
    const cv::Mat roi = readGrey(roiPath, "region of interest");
    for (int64_t frame = range.first; frame <= range.last; ++frame) {
        const std::filesystem::path gtPath = directory.groundTruth(frame);
        const std::filesystem::path binPath = dadimero::maskPath(masks, frame);
        const cv::Mat groundTruth = readGrey(gtPath, "ground truth");
        const cv::Mat mask = readGrey(binPath, "mask");
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
