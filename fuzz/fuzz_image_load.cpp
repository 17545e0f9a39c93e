// Fuzzes the load path of every image the program reads: the input is the
// colour background image, a colour frame, ROI.bmp and a depth frame in turn,
// read by the driver's own functions and converted into buffers of the size
// the background gives, as a run does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "colour/cone_planes.hpp"
#include "depth/depth_samples.hpp"
#include "files/image_files.hpp"
#include "fuzz_temp_dir.hpp"
#include "images/image_exchange.hpp"
#include "masks/region_of_interest.hpp"
#include "run/fatal_error.hpp"
#include "run/sequence_files.hpp"

using namespace dadimero;

namespace fs = std::filesystem;

namespace {

// All four names are links to the one file each input is written to.
std::string imagePath() {
    return fuzzTempDir() + "/image";
}

void makeLink(const fs::path& link) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(imagePath(), link);
}

// A load may fail only with the run's "missing or bad input" error.
void expectInputError(const FatalError& error, const std::string& path) {
    if (error.exitCode != EXIT_MISSING_INPUT || error.toStandardError) std::abort();
    if (error.message.find(path) == std::string::npos || error.message.back() != '\n') {
        std::abort();
    }
}

void requireType(const cv::Mat& image, int type, int width, int height) {
    if (image.type() != type || image.cols != width || image.rows != height) std::abort();
}

}  // namespace

// Larger images are legitimate input, but converting them here only tests the
// fuzzer's memory limit. scripts/fuzz.sh also sets OPENCV_IO_MAX_IMAGE_PIXELS,
// which OpenCV reads once, when the library loads, so that the decoders
// themselves stay small.
constexpr size_t kMaxFuzzPixels = 262144;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceImageLibraryLog();
    const fs::path dir = fuzzTempDir();
    makeLink(dir / "CinitImageL.png");
    makeLink(dir / "ROI.bmp");
    makeLink(dir / "input" / "in000001.png");
    makeLink(dir / "depth" / "d000001.png");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeFuzzFile(imagePath(), data, size);
    SequenceFiles files(fuzzTempDir());

    const cv::Mat background = readImage(files.backgroundPath("CinitImageL.png"), cv::IMREAD_COLOR);
    if (background.empty()) return 0;  // the run ends here; every other load reads the same bytes
    files.width = background.cols;
    files.height = background.rows;
    requireType(background, CV_8UC3, files.width, files.height);
    const size_t pixels = static_cast<size_t>(files.width) * static_cast<size_t>(files.height);
    if (pixels > kMaxFuzzPixels) return 0;
    RegionOfInterest roi = wholeImageRegion(pixels);
    PlaneSet planes = allocFloatPlanes(pixels);
    imageToConePlanes(background, roi, planes);

    try {
        const cv::Mat image = files.loadRoiImage();
        requireType(image, CV_8UC1, files.width, files.height);
        std::vector<uint8_t> mask(pixels, 0);
        imageToBytes(image, mask);
        roi = makeRegionOfInterest(std::move(mask), files.width);
        if (roi.firstRow < 0 || roi.firstRow >= files.height) std::abort();
    } catch (const FatalError& error) {
        expectInputError(error, files.roiPath());
    }
    try {
        const cv::Mat image = files.loadColourFrame(1);
        requireType(image, CV_8UC3, files.width, files.height);
        imageToConePlanes(image, roi, planes);
    } catch (const FatalError& error) {
        expectInputError(error, files.colourFramePath(1));
    }
    try {
        const cv::Mat image = files.loadDepthFrame(1, "Unable to read expected file %s\n");
        if (image.type() != CV_8UC1) requireType(image, CV_16UC1, files.width, files.height);
        requireType(image, image.type(), files.width, files.height);
        std::vector<float> plane(pixels, 0.0f);
        depthImageToPlane(image, roi, plane);
    } catch (const FatalError& error) {
        expectInputError(error, files.depthFramePath(1));
    }
    return 0;
}
