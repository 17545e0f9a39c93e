#include "support/rich_sequence.hpp"

#include <cstdint>
#include <cstdio>

#include <opencv2/core.hpp>

#include "files/sequence_layout.hpp"
#include "support/test_sequence.hpp"

namespace {

// xorshift32: the same numbers on every platform and library version.
struct Noise {
    uint32_t state;
    int next(int range) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<int>(state % static_cast<uint32_t>(range));
    }
};

uint8_t clampByte(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

void writeRichSequence(const std::filesystem::path& dir, const RichSequencePlan& plan) {
    const int W = plan.width;
    const int H = plan.height;
    const int floorRow = H / 2;
    cv::Mat background(H, W, CV_8UC3);
    for (int r = 0; r < H; ++r) {
        for (int c = 0; c < W; ++c) {
            const bool floor = r >= floorRow;
            const int t = ((r / 3 + c / 4) % 2) * 18;
            background.at<cv::Vec3b>(r, c) =
                floor ? cv::Vec3b(clampByte(70 + t), clampByte(110 + t), clampByte(150 + t))
                      : cv::Vec3b(clampByte(180 - t), clampByte(160 - t), clampByte(90 + t));
        }
    }
    writeImage(dir / dadimero::kColourBackgroundName, background);
    writeText(dir / dadimero::kTemporalRangeName,
              std::to_string(plan.fromIdx) + " " + std::to_string(plan.frames) + "\n");
    cv::Mat roi(H, W, CV_8UC1, cv::Scalar(255));
    if (plan.partialRoi) {
        roi.rowRange(0, 3).setTo(0);
        roi(cv::Rect(W - 5, 0, 5, H)).setTo(0);
    }
    writeImage(dir / dadimero::kRegionOfInterestName, roi);

    Noise noise{plan.seed * 2654435761u + 1};
    const double scale = plan.depthBits == 16 ? 65535.0 : 255.0;
    for (int f = 1; f <= plan.frames; ++f) {
        cv::Mat colour = background.clone();
        cv::Mat depth(H, W, plan.depthBits == 16 ? CV_16UC1 : CV_8UC1);
        const int x = 2 + (f * 2) % (W - 12);  // a red object crossing the floor
        const int y = floorRow - 2;
        const int camouflageX = W - 4 - f % (W / 2);
        for (int r = 0; r < H; ++r) {
            for (int c = 0; c < W; ++c) {
                double d = r >= floorRow ? 0.35 + 0.4 * (H - r) / H : 0.8;
                cv::Vec3b& px = colour.at<cv::Vec3b>(r, c);
                const bool object =
                    f > plan.fromIdx - 2 && r >= y && r < y + 8 && c >= x && c < x + 6;
                const bool shadow = f > plan.fromIdx - 2 && r >= y + 8 && r < y + 11 &&
                                    c >= x + 2 && c < x + 9 && r < H;
                const bool camouflaged =
                    f > plan.fromIdx && r >= 4 && r < 10 && c >= camouflageX - 6 && c < camouflageX;
                if (object) {
                    px = cv::Vec3b(30, 40, 200);
                    d = 0.25;
                } else if (shadow) {
                    px = cv::Vec3b(clampByte(px[0] * 7 / 10), clampByte(px[1] * 7 / 10),
                                   clampByte(px[2] * 7 / 10));
                } else if (camouflaged) {
                    px = cv::Vec3b(clampByte(px[0] + 2), clampByte(px[1] - 1), px[2]);
                    d = 0.5;
                }
                for (int k = 0; k < 3; ++k)
                    px[k] = clampByte(px[k] + noise.next(5) - 2);
                int value = static_cast<int>(d * scale) + noise.next(3) - 1;
                if ((r * 7 + c * 3 + f) % 23 == 0 || (object && (c == x || c == x + 5))) value = 0;
                if (plan.depthBits == 16) {
                    depth.at<uint16_t>(r, c) = static_cast<uint16_t>(value < 0 ? 0 : value);
                } else {
                    depth.at<uint8_t>(r, c) = clampByte(value);
                }
            }
        }
        writeImage(dir / dadimero::colourFrameName(f), colour);
        writeImage(dir / dadimero::depthFrameName(f), depth);
    }
}
