#pragma once

#include <cstddef>
#include <functional>

namespace dadimero {

// Calls work(0) .. work(count - 1) on every core, each index once, and
// returns when all are done. For the checks of many runs (fingerprints,
// decoding every mask), which are independent.
void forEachInParallel(size_t count, const std::function<void(size_t)>& work);

}  // namespace dadimero
