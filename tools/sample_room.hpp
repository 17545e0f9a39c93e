#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

// The empty scene of the sample sequence: a textured wall at constant depth
// above a tiled floor that comes nearer towards the bottom of the image.
struct SampleRoom {
    int width = 0;
    int height = 0;
    double horizonRow = 0;     // where the floor plane would meet infinity
    double wallBottomRow = 0;  // first floor row
    double wallDepthMm = 3000;
    cv::Mat colour;      // CV_8UC3, BGR, the clean background image
    cv::Mat depthMm;     // CV_64FC1, true depth of the empty scene
    cv::Mat depthHoles;  // CV_8UC1, 255 where the sensor never returns depth

    // Depth of the floor at a (fractional) image row at or below the wall.
    double floorDepthAt(double row) const;
    // The row at which the floor is at the given depth.
    double floorRowAt(double depthMm) const;
};

SampleRoom buildSampleRoom(int width, int height, uint64_t seed);
