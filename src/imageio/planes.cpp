#include "imageio/planes.hpp"

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
