#include "sample_sequence.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "ground_truth_labels.hpp"
#include "sample_objects.hpp"
#include "splitmix64.hpp"

namespace {

constexpr double kColourNoise = 2.5;           // grey levels, one sigma
constexpr double kIlluminationDrop = 0.10;     // darkening from first to last frame
constexpr double kBorderDropout = 0.7;         // chance of no depth on an object's rim
constexpr double kSensorShadowDropout = 0.85;  // chance of no depth just left of an object
constexpr double kRandomDropout = 0.002;       // chance of no depth anywhere
constexpr double kEightBitFarMm = 4500;        // depth that maps to 255 in 8-bit files

// Depth noise grows with the square of the distance, as for structured light.
double depthNoiseSigma(double depthMm) {
    const double metres = depthMm / 1000.0;
    return 0.8 + 1.0 * metres * metres;
}

double roundHalfUp(double v) {
    return std::floor(v + 0.5);
}

cv::Mat makeRegionOfInterest(const SampleSettings& s) {
    cv::Mat roi(s.height, s.width, CV_8UC1, cv::Scalar(255));
    if (!s.partialRoi) return roi;
    // Leave out a strip along the top and one along the right edge.
    const int top = std::max(1, static_cast<int>(0.08 * s.height));
    const int right = std::max(1, static_cast<int>(0.06 * s.width));
    roi.rowRange(0, top).setTo(0);
    roi.colRange(s.width - right, s.width).setTo(0);
    return roi;
}

// The scene without noise: which object (or -1) each pixel shows, its colour
// and depth, and the shadows on the background.
struct CleanFrame {
    cv::Mat objectIndex;  // CV_32SC1
    cv::Mat colour;       // CV_64FC3
    cv::Mat depthMm;      // CV_64FC1
    cv::Mat hardShadow;   // CV_8UC1
};

CleanFrame composeFrame(const SampleRoom& room, const std::vector<PlacedObject>& objects) {
    CleanFrame f;
    room.colour.convertTo(f.colour, CV_64FC3);
    f.depthMm = room.depthMm.clone();
    f.objectIndex = cv::Mat(room.height, room.width, CV_32SC1, cv::Scalar(-1));
    f.hardShadow = cv::Mat::zeros(room.height, room.width, CV_8UC1);
    const cv::Rect image(0, 0, room.width, room.height);

    for (size_t i = 0; i < objects.size(); ++i) {
        if (!castsShadow(objects[i])) continue;
        const cv::Rect area = shadowBounds(objects[i]) & image;
        for (int y = area.y; y < area.y + area.height; ++y) {
            if (y < room.wallBottomRow) continue;
            for (int x = area.x; x < area.x + area.width; ++x) {
                const ShadowAt shadow = shadowAt(objects[i], x + 0.5, y + 0.5);
                f.colour.at<cv::Vec3d>(y, x) *= shadow.lightFactor;
                if (shadow.hard) f.hardShadow.at<uint8_t>(y, x) = 255;
            }
        }
    }
    // Paint far to near so nearer objects hide farther ones.
    std::vector<size_t> order(objects.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&objects](size_t a, size_t b) {
        return objects[a].depthMm > objects[b].depthMm;
    });
    for (const size_t i : order) {
        const PlacedObject& object = objects[i];
        const cv::Rect area = cv::Rect(static_cast<int>(std::floor(object.box.x)),
                                       static_cast<int>(std::floor(object.box.y)),
                                       static_cast<int>(std::ceil(object.box.width)) + 2,
                                       static_cast<int>(std::ceil(object.box.height)) + 2) &
                              image;
        for (int y = area.y; y < area.y + area.height; ++y) {
            for (int x = area.x; x < area.x + area.width; ++x) {
                if (!objectCovers(object, x + 0.5, y + 0.5)) continue;
                f.objectIndex.at<int32_t>(y, x) = static_cast<int32_t>(i);
                f.colour.at<cv::Vec3d>(y, x) = objectColourAt(object, room, x, y);
                f.depthMm.at<double>(y, x) = objectDepthAt(object, room, x + 0.5, y + 0.5);
                f.hardShadow.at<uint8_t>(y, x) = 0;
            }
        }
    }
    return f;
}

// Depth sensors lose the rims of objects and the strip of background that the
// object hides from the projector (here: just to its left).
bool depthLostAt(const CleanFrame& f, int x, int y, SplitMix64& random) {
    const int32_t id = f.objectIndex.at<int32_t>(y, x);
    const int W = f.objectIndex.cols;
    const int H = f.objectIndex.rows;
    if (id >= 0) {
        const bool rim = (x > 0 && f.objectIndex.at<int32_t>(y, x - 1) != id) ||
                         (x + 1 < W && f.objectIndex.at<int32_t>(y, x + 1) != id) ||
                         (y > 0 && f.objectIndex.at<int32_t>(y - 1, x) != id) ||
                         (y + 1 < H && f.objectIndex.at<int32_t>(y + 1, x) != id);
        return rim && random.uniform() < kBorderDropout;
    }
    for (int dx = 1; dx <= 2; ++dx) {
        if (x + dx < W && f.objectIndex.at<int32_t>(y, x + dx) >= 0) {
            return random.uniform() < kSensorShadowDropout;
        }
    }
    return false;
}

cv::Mat groundTruthOf(const CleanFrame& f, const cv::Mat& roi) {
    const cv::Mat moving = f.objectIndex >= 0;
    cv::Mat grown;
    cv::Mat shrunk;
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::dilate(moving, grown, square);
    cv::erode(moving, shrunk, square, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::Mat gt(moving.size(), CV_8UC1, cv::Scalar(GT_STATIC));
    gt.setTo(GT_HARD_SHADOW, f.hardShadow);
    gt.setTo(GT_MOVING, moving);
    // Neither side of an object's border can be told apart reliably.
    gt.setTo(GT_UNKNOWN, grown & ~shrunk);
    gt.setTo(GT_OUTSIDE_ROI, roi == 0);
    return gt;
}

}  // namespace

SampleSequence::SampleSequence(const SampleSettings& settings)
    : settings_(settings),
      room_(buildSampleRoom(settings.width, settings.height, settings.seed)),
      roi_(makeRegionOfInterest(settings)) {}

EvaluatedRange SampleSequence::evaluatedRange() const {
    return {settings_.frames / 4 + 1, settings_.frames};
}

SampleFrame SampleSequence::render(int frame) const {
    const double t =
        settings_.frames > 1 ? static_cast<double>(frame - 1) / (settings_.frames - 1) : 0.0;
    const CleanFrame clean = composeFrame(room_, placeObjects(room_, t));
    SplitMix64 random(mixSeed(settings_.seed, 1000, static_cast<uint64_t>(frame)));
    const double gain = 1.0 - kIlluminationDrop * t;
    const bool sixteenBits = settings_.depthBits == 16;

    SampleFrame out;
    out.colour.create(settings_.height, settings_.width, CV_8UC3);
    out.depth.create(settings_.height, settings_.width, sixteenBits ? CV_16UC1 : CV_8UC1);
    for (int y = 0; y < settings_.height; ++y) {
        for (int x = 0; x < settings_.width; ++x) {
            const cv::Vec3d c = clean.colour.at<cv::Vec3d>(y, x);
            cv::Vec3b& pixel = out.colour.at<cv::Vec3b>(y, x);
            for (int ch = 0; ch < 3; ++ch) {
                const double v = roundHalfUp(c[ch] * gain + kColourNoise * random.normal());
                pixel[ch] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
            }
            const double trueDepth = clean.depthMm.at<double>(y, x);
            const double measured = trueDepth + depthNoiseSigma(trueDepth) * random.normal();
            const bool hole =
                clean.objectIndex.at<int32_t>(y, x) < 0 && room_.depthHoles.at<uint8_t>(y, x) != 0;
            const bool lost =
                hole || depthLostAt(clean, x, y, random) || random.uniform() < kRandomDropout;
            if (sixteenBits) {
                const double v = lost ? 0.0 : std::clamp(roundHalfUp(measured), 1.0, 65535.0);
                out.depth.at<uint16_t>(y, x) = static_cast<uint16_t>(v);
            } else {
                const double scaled = roundHalfUp(measured * 255.0 / kEightBitFarMm);
                out.depth.at<uint8_t>(y, x) =
                    static_cast<uint8_t>(lost ? 0.0 : std::clamp(scaled, 1.0, 255.0));
            }
        }
    }
    out.groundTruth = groundTruthOf(clean, roi_);
    return out;
}
