#pragma once

#include <cstdint>
#include <string>

namespace dadimero {

// The layout of a sequence directory and the names of the files a run writes,
// shared by the program, the tools, the benchmark and the tests. Names are
// relative to the sequence directory (or, for masks and snapshots, to the
// directory they are written in); frame numbers have at least six digits.
//
//   temporalROI.txt            "fromIdx toIdx": the evaluated frames
//   ROI.bmp                    region of interest, nonzero inside
//   CinitImageL.png            the colour background (another name with -nameCE)
//   input/in%06d.png           colour frames (input/in%06d.jpg where no PNG is)
//   depth/d%06d.png            depth frames, 8 or 16 bits
//   groundtruth/gt%06d.png     ground truth, where there is one
//   bin%06d.png                the masks a run writes

inline constexpr const char* kTemporalRangeName = "temporalROI.txt";
inline constexpr const char* kRegionOfInterestName = "ROI.bmp";
inline constexpr const char* kColourBackgroundName = "CinitImageL.png";
inline constexpr const char* kGroundTruthDirectory = "groundtruth";

// stem + frame with at least six digits + extension: ("bin", 7, ".png") gives
// "bin000007.png".
std::string numberedName(const char* stem, int64_t frame, const char* extension);

std::string colourFrameName(int64_t frame);      // input/in000007.png
std::string colourFrameJpegName(int64_t frame);  // input/in000007.jpg
std::string depthFrameName(int64_t frame);       // depth/d000007.png
std::string groundTruthName(int64_t frame);      // groundtruth/gt000007.png
std::string maskName(int64_t frame);             // bin000007.png

}  // namespace dadimero
