#include "sample_objects.hpp"

#include <algorithm>
#include <cmath>

namespace {

// A crossing: where and when an object enters and leaves.
struct Crossing {
    ObjectKind kind;
    double firstTime, lastTime;  // fractions of the sequence
    double startX, endX;         // centre column as fraction of the width
    double baseRow;              // fraction of the height where it meets the floor
    double width, height;        // fractions of width and height
    cv::Vec3d colour;
};

// Times leave the first quarter (calibration) free of objects.
const Crossing kCrossings[] = {
    {ObjectKind::Walker, 0.28, 0.62, -0.10, 1.10, 0.86, 0.075, 0.55, {50, 50, 185}},
    {ObjectKind::Camouflaged, 0.32, 0.92, 1.12, -0.12, 0.56, 0.13, 0.36, {0, 0, 0}},
    {ObjectKind::FlatMat, 0.45, 0.80, -0.15, 1.15, 0.975, 0.16, 0.07, {60, 165, 70}},
    {ObjectKind::Ball, 0.55, 0.95, 1.10, -0.10, 0.0, 0.0, 0.10, {30, 200, 230}},
    {ObjectKind::Walker, 0.68, 0.98, 1.10, -0.10, 0.74, 0.06, 0.45, {175, 95, 40}},
};

constexpr double kBallDepthMm = 1800;
constexpr double kFlatMatThicknessMm = 8;

double smoothStep(double edge0, double edge1, double v) {
    const double t = std::clamp((v - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

cv::Point2d boxCentre(const cv::Rect2d& box) {
    return {box.x + 0.5 * box.width, box.y + 0.5 * box.height};
}

}  // namespace

std::vector<PlacedObject> placeObjects(const SampleRoom& room, double t) {
    std::vector<PlacedObject> placed;
    const double W = room.width;
    const double H = room.height;
    for (const Crossing& c : kCrossings) {
        if (t < c.firstTime || t > c.lastTime) continue;
        const double progress = (t - c.firstTime) / (c.lastTime - c.firstTime);
        const double centreX = (c.startX + (c.endX - c.startX) * progress) * W;
        PlacedObject object;
        object.kind = c.kind;
        object.colour = c.colour;
        if (c.kind == ObjectKind::Ball) {
            const double radius = 0.5 * c.height * H;
            object.floorRow = room.floorRowAt(kBallDepthMm);
            // Three parabolic bounces.
            const double phase = progress * 3.0 - std::floor(progress * 3.0);
            const double lift = 4.0 * phase * (1.0 - phase) * 0.18 * H;
            const double bottom = object.floorRow - lift;
            object.box = cv::Rect2d(centreX - radius, bottom - 2 * radius, 2 * radius, 2 * radius);
            object.depthMm = kBallDepthMm;
        } else {
            const double baseRow = c.baseRow * H;
            const double width = c.width * W;
            const double height = c.height * H;
            object.floorRow = baseRow;
            object.box = cv::Rect2d(centreX - 0.5 * width, baseRow - height, width, height);
            object.depthMm = room.floorDepthAt(baseRow);
        }
        if (object.box.x + object.box.width < 0 || object.box.x > W) continue;
        placed.push_back(object);
    }
    return placed;
}

bool objectCovers(const PlacedObject& object, double x, double y) {
    const cv::Rect2d& b = object.box;
    if (x < b.x || x >= b.x + b.width || y < b.y || y >= b.y + b.height) return false;
    switch (object.kind) {
        case ObjectKind::Ball: {
            const cv::Point2d centre = boxCentre(b);
            const double r = 0.5 * b.width;
            return (x - centre.x) * (x - centre.x) + (y - centre.y) * (y - centre.y) <= r * r;
        }
        case ObjectKind::Walker: {
            // A round head, a body, and two legs with a gap between them.
            const double headRadius = 0.42 * b.width;
            const double headCentreY = b.y + headRadius;
            const double cx = b.x + 0.5 * b.width;
            if (y < b.y + 2 * headRadius) {
                return (x - cx) * (x - cx) + (y - headCentreY) * (y - headCentreY) <=
                       headRadius * headRadius;
            }
            const double legsTop = b.y + 0.62 * b.height;
            if (y >= legsTop) return std::fabs(x - cx) >= 0.1 * b.width;
            return true;
        }
        case ObjectKind::Camouflaged:
        case ObjectKind::FlatMat:
            return true;
    }
    return false;
}

cv::Vec3d objectColourAt(const PlacedObject& object, const SampleRoom& room, int x, int y) {
    const cv::Rect2d& b = object.box;
    switch (object.kind) {
        case ObjectKind::Camouflaged: {
            // Printed with the wall's own pattern, a shade lighter.
            const cv::Vec3b wall = room.colour.at<cv::Vec3b>(std::min(y, room.height - 1), x);
            return cv::Vec3d(wall[0], wall[1], wall[2]) + cv::Vec3d::all(5.0);
        }
        case ObjectKind::Walker: {
            const double headBottom = b.y + 0.84 * b.width;
            if (y < headBottom) return {110, 145, 205};
            if (y >= b.y + 0.62 * b.height) return {70, 55, 45};
            // Horizontal stripes on the shirt.
            const bool stripe = static_cast<int>(std::floor((y - b.y) / 5.0)) % 2 == 0;
            return stripe ? object.colour : object.colour * 0.8;
        }
        case ObjectKind::FlatMat: {
            const bool check = (static_cast<int>(std::floor((x - b.x) / 6.0)) +
                                static_cast<int>(std::floor((y - b.y) / 3.0))) %
                                   2 ==
                               0;
            return check ? object.colour : object.colour * 0.75;
        }
        case ObjectKind::Ball: {
            // Lit from the upper left.
            const cv::Point2d centre = boxCentre(b);
            const double r = 0.5 * b.width;
            const double shade =
                1.0 - 0.35 * std::clamp((x - centre.x + y - centre.y) / (2 * r) + 0.5, 0.0, 1.0);
            return object.colour * shade;
        }
    }
    return object.colour;
}

double objectDepthAt(const PlacedObject& object, const SampleRoom& room, double x, double y) {
    switch (object.kind) {
        case ObjectKind::FlatMat:
            return room.floorDepthAt(std::max(y, room.wallBottomRow)) - kFlatMatThicknessMm;
        case ObjectKind::Ball: {
            const cv::Point2d centre = boxCentre(object.box);
            const double r = 0.5 * object.box.width;
            const double d2 =
                ((x - centre.x) * (x - centre.x) + (y - centre.y) * (y - centre.y)) / (r * r);
            const double radiusMm = 110.0;
            return object.depthMm - radiusMm * std::sqrt(std::max(0.0, 1.0 - d2));
        }
        case ObjectKind::Walker:
        case ObjectKind::Camouflaged:
            return object.depthMm;
    }
    return object.depthMm;
}

bool castsShadow(const PlacedObject& object) {
    return object.kind == ObjectKind::Walker || object.kind == ObjectKind::Ball;
}

namespace {

struct ShadowEllipse {
    cv::Point2d centre;
    double halfWidth;
    double halfHeight;
    double darkness;
};

// The light comes from the upper left, so shadows fall to the right.
ShadowEllipse shadowEllipse(const PlacedObject& object) {
    const cv::Rect2d& b = object.box;
    if (object.kind == ObjectKind::Ball) {
        return {{b.x + 0.7 * b.width, object.floorRow}, 0.75 * b.width, 0.2 * b.width, 0.35};
    }
    return {{b.x + 1.2 * b.width, object.floorRow - 0.02 * b.height},
            1.5 * b.width,
            0.07 * b.height,
            0.45};
}

}  // namespace

cv::Rect shadowBounds(const PlacedObject& object) {
    const ShadowEllipse e = shadowEllipse(object);
    return cv::Rect(static_cast<int>(std::floor(e.centre.x - e.halfWidth)),
                    static_cast<int>(std::floor(e.centre.y - e.halfHeight)),
                    static_cast<int>(std::ceil(2 * e.halfWidth)) + 2,
                    static_cast<int>(std::ceil(2 * e.halfHeight)) + 2);
}

ShadowAt shadowAt(const PlacedObject& object, double x, double y) {
    const ShadowEllipse e = shadowEllipse(object);
    const double dx = (x - e.centre.x) / e.halfWidth;
    const double dy = (y - e.centre.y) / e.halfHeight;
    const double radius = std::sqrt(dx * dx + dy * dy);
    ShadowAt shadow;
    // Full darkness inside 55% of the ellipse, fading out to its rim.
    shadow.lightFactor = 1.0 - e.darkness * (1.0 - smoothStep(0.55, 1.0, radius));
    shadow.hard = radius < 0.75;
    return shadow;
}
