#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "sequence_directory.hpp"

namespace dadimero {

// The files of the sequence directory as the program names them in its
// messages (the sequence argument, then "/", then "/input/..." and so on: a
// doubled separator) and their checked loading. Every load failure throws
// FatalError (exit 1) with the message of its call site.
struct SequenceFiles {
    explicit SequenceFiles(const std::string& argument = "")
        : prefix(argument + "/"), directory(SequenceDirectory::namedAsTheCommandLine(argument)) {}

    std::string prefix;  // the sequence argument followed by "/"
    SequenceDirectory directory;
    int width = 0;  // W and H of the colour background image, once loaded
    int height = 0;

    std::string temporalRangePath() const { return directory.temporalRange(); }
    std::string roiPath() const { return directory.regionOfInterest(); }
    std::string backgroundPath(const std::string& name) const { return directory.background(name); }
    std::string colourFramePath(int64_t frame) const { return directory.colourFrame(frame); }
    std::string depthFramePath(int64_t frame) const { return directory.depthFrame(frame); }

    // An 8-bit three-channel image of W x H pixels: the PNG of the frame, or
    // its JPEG where no PNG exists. Messages name the PNG unless the JPEG is read.
    cv::Mat loadColourFrame(int64_t frame) const;
    // An 8-bit one-channel image of W x H pixels.
    cv::Mat loadRoiImage() const;
    // An 8- or 16-bit one-channel image of W x H pixels. `unreadableFormat`
    // has one %s for the path.
    cv::Mat loadDepthFrame(int64_t frame, const char* unreadableFormat) const;
};

// Ends the run unless the image is W x H.
void checkImageSize(const std::string& path, const cv::Mat& image, int width, int height);

// The image at `path` read with cv::imread `flags`, of any size for 0 x 0. For
// another size, a PNG, BMP or JPEG whose header declares neither width x height
// nor its transpose (an orientation tag turns the decoded image) is refused
// without being decoded; checkImageSize checks the decoded image. Ends the run
// with `unreadableFormat` (one %s for the path) for a file that cannot be read,
// and with "Not enough memory to read PATH" when its pixels cannot be allocated.
cv::Mat loadImageOfSize(const std::string& path, int flags, const char* unreadableFormat, int width,
                        int height);

}  // namespace dadimero
