#include "sample_room.hpp"

#include <algorithm>
#include <cmath>

#include "splitmix64.hpp"

namespace {

double smoothStep(double t) {
    return t * t * (3.0 - 2.0 * t);
}

// Smooth random texture in [-1, 1] with features about `cell` pixels wide,
// from a random lattice blended bilinearly with a smooth step.
double valueNoise(uint64_t seed, double x, double y, double cell) {
    const double gx = x / cell;
    const double gy = y / cell;
    const double fx = std::floor(gx);
    const double fy = std::floor(gy);
    const auto ix = static_cast<int64_t>(fx);
    const auto iy = static_cast<int64_t>(fy);
    auto lattice = [seed](int64_t i, int64_t j) {
        SplitMix64 random(mixSeed(seed, static_cast<uint64_t>(i), static_cast<uint64_t>(j)));
        return random.uniform() * 2.0 - 1.0;
    };
    const double tx = smoothStep(gx - fx);
    const double ty = smoothStep(gy - fy);
    const double top = lattice(ix, iy) * (1.0 - tx) + lattice(ix + 1, iy) * tx;
    const double bottom = lattice(ix, iy + 1) * (1.0 - tx) + lattice(ix + 1, iy + 1) * tx;
    return top * (1.0 - ty) + bottom * ty;
}

uint8_t toByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::floor(value + 0.5), 0.0, 255.0));
}

}  // namespace

double SampleRoom::floorDepthAt(double row) const {
    return wallDepthMm * (wallBottomRow - horizonRow) / (row - horizonRow);
}

double SampleRoom::floorRowAt(double depth) const {
    return horizonRow + wallDepthMm * (wallBottomRow - horizonRow) / depth;
}

SampleRoom buildSampleRoom(int width, int height, uint64_t seed) {
    SampleRoom room;
    room.width = width;
    room.height = height;
    room.horizonRow = 0.2 * height;
    room.wallBottomRow = 0.5 * height;
    room.colour.create(height, width, CV_8UC3);
    room.depthMm.create(height, width, CV_64FC1);
    room.depthHoles = cv::Mat::zeros(height, width, CV_8UC1);
    const double scale = width / 320.0;
    const uint64_t wallSeed = mixSeed(seed, 1);
    const uint64_t floorSeed = mixSeed(seed, 2);
    // Sizes in pixels follow the image width so every size shows the same scene.
    const double focal = 0.9 * width;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const double fy = static_cast<double>(y) / height;
            cv::Vec3d bgr;
            double depth = room.wallDepthMm;
            if (y < room.wallBottomRow) {
                // Plaster in warm beige, blotchy at two scales, with a blue poster.
                const double blotch = 22.0 * valueNoise(wallSeed, x, y, 24.0 * scale) +
                                      9.0 * valueNoise(wallSeed + 7, x, y, 5.0 * scale);
                bgr = cv::Vec3d(140 + blotch, 165 + blotch, 190 + blotch);
                if (fx > 0.60 && fx < 0.80 && fy > 0.14 && fy < 0.36) {
                    const bool stripe = static_cast<int>(std::floor(y / (4.0 * scale))) % 2 == 0;
                    bgr = stripe ? cv::Vec3d(170, 90, 40) : cv::Vec3d(200, 140, 90);
                }
                // A dark glossy panel the depth sensor cannot see.
                if (fx > 0.06 && fx < 0.16 && fy > 0.16 && fy < 0.40) {
                    bgr = cv::Vec3d(45, 40, 38) + cv::Vec3d::all(0.3 * blotch);
                    room.depthHoles.at<uint8_t>(y, x) = 255;
                }
            } else {
                depth = room.floorDepthAt(y + 0.5);
                // Tiles 500 mm square on the floor plane, seen in perspective.
                const double worldX = (x + 0.5 - 0.5 * width) * depth / focal;
                const auto tileX = static_cast<int64_t>(std::floor(worldX / 500.0));
                const auto tileZ = static_cast<int64_t>(std::floor(depth / 500.0));
                const bool light = ((tileX + tileZ) % 2 + 2) % 2 == 0;
                const double grain = 8.0 * valueNoise(floorSeed, x, y, 3.0 * scale);
                bgr = light ? cv::Vec3d(125 + grain, 135 + grain, 150 + grain)
                            : cv::Vec3d(95 + grain, 108 + grain, 128 + grain);
                // A black rug that swallows the sensor's light.
                if (fx > 0.78 && fx < 0.94 && fy > 0.86) {
                    bgr = cv::Vec3d(35 + grain, 32 + grain, 40 + grain);
                    room.depthHoles.at<uint8_t>(y, x) = 255;
                }
            }
            room.colour.at<cv::Vec3b>(y, x) =
                cv::Vec3b(toByte(bgr[0]), toByte(bgr[1]), toByte(bgr[2]));
            room.depthMm.at<double>(y, x) = depth;
        }
    }
    return room;
}
