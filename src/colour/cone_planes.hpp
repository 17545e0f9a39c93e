#pragma once

#include <opencv2/core.hpp>

#include <vector>

#include "colour/colour_space.hpp"
#include "masks/region_of_interest.hpp"
#include "model/planes.hpp"

namespace dadimero {

// The cone points of recently seen 8-bit colours. Frames of one scene repeat
// their colours, and a conversion costs a cosine and a sine; the points are
// exactly those rgbToCone gives. Direct-mapped, one per converting thread.
class ConeCache {
  public:
    ConeCache() : entries_(kSize) {}
    ConePoint lookup(uint8_t red, uint8_t green, uint8_t blue) {
        const uint32_t colour = keyOf(red, green, blue);
        Entry& entry = entries_[slotOf(colour)];
        if (entry.key != colour + 1) [[unlikely]] {
            entry.key = colour + 1;
            entry.point = rgbToCone(red, green, blue);
        }
        return entry.point;
    }
    // Asks the memory system for a colour's entry ahead of its lookup: the
    // table is larger than the core's own cache, and colours come in no order.
    void prefetch(uint8_t red, uint8_t green, uint8_t blue) const {
        __builtin_prefetch(&entries_[slotOf(keyOf(red, green, blue))]);
    }

  private:
    static constexpr int kBits = 18;
    static constexpr size_t kSize = size_t{1} << kBits;
    static uint32_t keyOf(uint8_t red, uint8_t green, uint8_t blue) {
        return (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
    }
    static size_t slotOf(uint32_t colour) { return (colour * 2654435761u) >> (32 - kBits); }
    struct Entry {
        uint32_t key = 0;  // colour + 1; 0 marks an empty entry
        ConePoint point{};
    };
    std::vector<Entry> entries_;
};

// Converts a W x H 8-bit BGR image into cone coordinates, one plane entry per
// pixel inside the region of interest; entries outside it keep their value.
void imageToConePlanes(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes);
// The same for image rows [rowBegin, rowEnd) only; bands may run in parallel,
// each with its own cache.
void imageRowsToConePlanes(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes,
                           ConeCache& cache, int rowBegin, int rowEnd);

}  // namespace dadimero
