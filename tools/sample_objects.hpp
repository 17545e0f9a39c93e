#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "sample_room.hpp"

// The things that cross the sample room, each chosen for one hard case.
enum class ObjectKind {
    Walker,       // upright, distinct colour, casts a soft shadow on the floor
    Camouflaged,  // colour of the wall behind it, but clearly nearer
    FlatMat,      // lies on the floor: nearly the floor's depth, distinct colour
    Ball,         // round, bounces, casts a small shadow
};

// One object where it is in one frame, in pixels.
struct PlacedObject {
    ObjectKind kind = ObjectKind::Walker;
    cv::Rect2d box;
    double depthMm = 0;   // of its front; FlatMat follows the floor instead
    double floorRow = 0;  // row at which its shadow falls
    cv::Vec3d colour;     // BGR, main colour
};

// Objects visible in the frame at time t in [0, 1] (first to last frame).
std::vector<PlacedObject> placeObjects(const SampleRoom& room, double t);

// Whether the object covers pixel centre (x, y).
bool objectCovers(const PlacedObject& object, double x, double y);

// The object's clean colour and depth at a covered pixel.
cv::Vec3d objectColourAt(const PlacedObject& object, const SampleRoom& room, int x, int y);
double objectDepthAt(const PlacedObject& object, const SampleRoom& room, double x, double y);

// How much light the object's shadow leaves at a floor pixel (1 = none) and
// whether the pixel lies in the shadow's dark core.
struct ShadowAt {
    double lightFactor = 1.0;
    bool hard = false;
};
bool castsShadow(const PlacedObject& object);
cv::Rect shadowBounds(const PlacedObject& object);
ShadowAt shadowAt(const PlacedObject& object, double x, double y);
