#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

// File names of a sequence directory and of the files a run writes, and the
// checked loading of its images. Every load failure throws FatalError (exit 1)
// with the message of its call site.
struct SequenceFiles {
    std::string prefix;  // the sequence argument followed by "/"
    int width = 0;       // W and H of the colour background image, once loaded
    int height = 0;

    std::string temporalRangePath() const { return prefix + "temporalROI.txt"; }
    std::string roiPath() const { return prefix + "ROI.bmp"; }
    std::string backgroundPath(const std::string& name) const { return prefix + name; }
    std::string colourFramePath(int64_t frame) const;
    std::string depthFramePath(int64_t frame) const;

    // An 8-bit three-channel image of W x H pixels.
    cv::Mat loadColourFrame(int64_t frame) const;
    // An 8-bit one-channel image of W x H pixels.
    cv::Mat loadRoiImage() const;
    // An 8- or 16-bit one-channel image of W x H pixels. `unreadableFormat`
    // has one %s for the path.
    cv::Mat loadDepthFrame(int64_t frame, const char* unreadableFormat) const;
};

// Output file names in the working directory, numbered with at least six digits.
std::string numberedName(const char* stem, int64_t frame, const char* extension);

// Ends the run unless the image is W x H.
void checkImageSize(const std::string& path, const cv::Mat& image, int width, int height);
