#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "imageio/image_files.hpp"
#include "imageio/planes.hpp"

// Renders every cell of a colour model (cone coordinates) as red, green and
// blue bytes; a cell never written (black) renders black.
void colourModelToRgbPlanes(const PlaneSet& model, size_t count, BytePlaneSet& rgb);

// Writes the three byte planes as a binary PPM ("P6") of width x height pixels,
// in one buffered write.
WriteResult writePpm(int height, int width, const BytePlaneSet& rgb, const std::string& path);

// The PPM bytes themselves: header and interleaved pixels.
std::vector<uint8_t> encodePpm(int height, int width, const BytePlaneSet& rgb);

// Stores values[i*w + j] * 2^d into every pixel of a one-channel image of d = 8
// or 16 bits, rounding half to even and saturating to 0 .. 2^d - 1.
void floatPlaneToImage(const std::vector<float>& values, cv::Mat& image);
