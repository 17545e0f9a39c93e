#include "model/planes.hpp"

namespace dadimero {

PlaneSet allocFloatPlanes(size_t len) {
    PlaneSet set;
    for (auto& p : set.plane)
        p.assign(len, 0.0f);
    return set;
}

}  // namespace dadimero
