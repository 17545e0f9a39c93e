#include "depth/initial_depth_background.hpp"

#include "depth/depth_samples.hpp"

int computeInitialDepthBackground(const DepthFrameLoader& load, int64_t first, int64_t last,
                                  const RegionOfInterest& roi, std::vector<float>& scratch,
                                  std::vector<float>& background) {
    int bits = 0;
    {
        const cv::Mat image = load(first);
        bits = image.depth() == CV_16U ? 16 : 8;
        depthImageToPlane(image, roi, background);
    }
    for (int64_t f = first + 1; f <= last; ++f) {
        depthImageToPlane(load(f), roi, scratch);
        takeDepthMaximum(scratch, background);
    }
    return bits;
}
