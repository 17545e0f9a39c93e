#include "imageio/planes.hpp"

#include <algorithm>

PlaneSet allocFloatPlanes(size_t len) {
    PlaneSet set;
    for (auto& p : set.plane)
        p.assign(len, 0.0f);
    return set;
}

BytePlaneSet allocBytePlanes(size_t len) {
    BytePlaneSet set;
    for (auto& p : set.plane)
        p.assign(len, 0);
    return set;
}

void copyPlaneSet(const PlaneSet& source, size_t count, PlaneSet& destination) {
    for (size_t k = 0; k < source.plane.size(); ++k) {
        std::copy_n(source.plane[k].begin(), count, destination.plane[k].begin());
    }
}
