#include "colour/neighbourhood_kernel.hpp"

#include <cmath>

namespace dadimero {

float kernelVariance(int n) {
    switch (n) {
        case 3:
            return 0.75f;
        case 5:
            return 2.2f;
        case 7:
            return 4.4f;
        case 9:
            return 7.0f;
        default:
            return 1.0f;
    }
}

void buildNeighbourhoodKernel(int n, float s, NeighbourhoodKernel& kernel) {
    const int h = (n + 1) / 2 - 1;
    const double q = 1.0 / (2.0 * s);
    auto at = [&kernel, n](int row, int col) -> float& { return kernel[row * n + col]; };
    for (int i = 0; i <= h; ++i) {
        for (int j = 0; j <= h; ++j) {
            const float v = static_cast<float>(std::exp(-(i * i * q + j * j * q)));
            at(h - i, h + j) = v;
            at(h + i, h - j) = v;
            at(h - i, h - j) = v;
            at(h + i, h + j) = v;
        }
    }
    // Read the corner once, before the normalisation changes it.
    const double corner = at(n - 1, n - 1);
    for (float& entry : kernel) {
        entry = static_cast<float>(static_cast<int>(entry * (1.0 / corner) + 0.5));
    }
}

void fillRateMatrix(int n, float rate, const NeighbourhoodKernel& kernel, RateMatrix& rateMatrix) {
    for (int k = 0; k < n * n; ++k) {
        rateMatrix[k] = static_cast<float>(static_cast<double>(rate) * kernel[k]);
    }
}

float baseRate(float c, int n) {
    return static_cast<float>(c * (1.0 / (n + 1)));
}

float calibrationRate(float a1, float a2, long long i, long long K) {
    const double fall =
        (static_cast<double>(a1) - a2) * static_cast<double>(i) / static_cast<double>(K - 1);
    return static_cast<float>(a1 - fall);
}

}  // namespace dadimero
