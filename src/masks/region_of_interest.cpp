#include "masks/region_of_interest.hpp"

namespace dadimero {

RegionOfInterest makeRegionOfInterest(std::vector<uint8_t> mask, int width) {
    RegionOfInterest roi;
    roi.mask = std::move(mask);
    if (width > 0) {
        for (size_t k = 0; k < roi.mask.size(); ++k) {
            if (roi.mask[k] != 0) {
                roi.firstRow = static_cast<int>(k / static_cast<size_t>(width));
                break;
            }
        }
    }
    return roi;
}

RegionOfInterest wholeImageRegion(size_t count) {
    RegionOfInterest roi;
    roi.mask.assign(count, 255);
    return roi;
}

}  // namespace dadimero
