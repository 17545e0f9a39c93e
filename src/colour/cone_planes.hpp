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
    // A table for frames of `pixels` pixels: twice as many entries, from 2^10
    // up to 2^18 (4 MB); a frame holds no more colours than pixels, so a
    // larger table would only cost memory for every thread.
    explicit ConeCache(size_t pixels) : shift_(32 - bitsFor(pixels)), entries_(slots(shift_)) {}
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
    static constexpr int kMinBits = 10;
    static constexpr int kMaxBits = 18;
    static int bitsFor(size_t pixels) {
        int bits = kMinBits;
        while (bits < kMaxBits && (size_t{1} << bits) < 2 * pixels)
            ++bits;
        return bits;
    }
    static size_t slots(int shift) { return size_t{1} << (32 - shift); }
    static uint32_t keyOf(uint8_t red, uint8_t green, uint8_t blue) {
        return (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
    }
    size_t slotOf(uint32_t colour) const { return (colour * 2654435761u) >> shift_; }
    struct Entry {
        uint32_t key = 0;  // colour + 1; 0 marks an empty entry
        ConePoint point{};
    };
    int shift_;
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
