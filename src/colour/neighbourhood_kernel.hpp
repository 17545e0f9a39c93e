#pragma once

#include <vector>

namespace dadimero {

// n x n floats, row-major: the integer Gaussian kernel, or a learning rate
// times it (the rate matrix shared by the colour and depth passes of a frame).
using NeighbourhoodKernel = std::vector<float>;
using RateMatrix = std::vector<float>;

// Variance of the Gaussian for the supported block sides (3, 5, 7, 9); n = 1
// needs none and gets 1.
float kernelVariance(int n);

// Fills the n x n kernel: exp(-(di^2 + dj^2) / (2s)) normalised so that the
// corners hold 1, each entry rounded to a whole number.
void buildNeighbourhoodKernel(int n, float s, NeighbourhoodKernel& kernel);

// rateMatrix = rate * kernel, entry by entry, rounded to float.
void fillRateMatrix(int n, float rate, const NeighbourhoodKernel& kernel, RateMatrix& rateMatrix);

// The base rates c / (n + 1) of the calibration (a1) and online (a2) phases.
float baseRate(float c, int n);

// Rate of calibration frame i of K - 1: falls linearly from a1 and reaches a2
// on the last calibration frame.
float calibrationRate(float a1, float a2, long long i, long long K);

}  // namespace dadimero
