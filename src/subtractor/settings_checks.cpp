#include "subtractor/settings_checks.hpp"

#include <cmath>
#include <string>

#include "model/model_grid.hpp"
#include "subtractor/public_errors.hpp"

namespace dadimero {

namespace {

std::string text(double value) {
    return cv::format("%g", value);
}

[[noreturn]] void refuse(const char* name, const std::string& rule, const std::string& value) {
    fail(cv::Error::StsOutOfRange, std::string(name) + " must be " + rule + ", got " + value);
}

void requireAtLeast(const char* name, int value, int least, const char* rule) {
    if (value < least) refuse(name, rule, std::to_string(value));
}

void requireFinite(const char* name, float value) {
    if (!std::isfinite(value)) refuse(name, "a finite number", text(value));
}

void requireNotNegative(const char* name, float value) {
    requireFinite(name, value);
    if (value < 0.0f) refuse(name, "0 or more", text(value));
}

void requireRate(const char* name, float value) {
    requireFinite(name, value);
    if (value < 0.0f || value > 1.0f) refuse(name, "between 0 and 1", text(value));
}

}  // namespace

void checkProgramSettings(const Settings& s) {
    if (!isSupportedBlockSide(s.n)) refuse("n", "1, 3, 5, 7 or 9", std::to_string(s.n));
    requireAtLeast("threads", s.threads, 0, "0 (one per core) or more");
}

void checkSettings(const Settings& s) {
    checkProgramSettings(s);
    requireAtLeast("K", s.K, 1, "1 or more");
    requireNotNegative("e1", s.e1);
    requireNotNegative("e2", s.e2);
    requireNotNegative("e1D", s.e1D);
    requireNotNegative("e2D", s.e2D);
    requireRate("c1", s.c1);
    requireRate("c2", s.c2);
    if (s.Cw != 3 && s.Cw != 5) refuse("Cw", "3 or 5", std::to_string(s.Cw));
    requireNotNegative("gamma", s.gamma);
    requireFinite("beta", s.beta);
    if (s.gamma > s.beta) refuse("gamma", "at most beta (" + text(s.beta) + ")", text(s.gamma));
    requireNotNegative("tauS", s.tauS);
    requireNotNegative("tauH", s.tauH);
    if (s.shadowValue < 0 || s.shadowValue > 254) {
        refuse("shadowValue", "between 0 and 254", std::to_string(s.shadowValue));
    }
}

void checkLearningRate(double learningRate) {
    if (std::isnan(learningRate) || learningRate > 1.0) {
        fail(cv::Error::StsOutOfRange,
             "the learning rate must be negative (automatic) or between 0 and 1, got " +
                 text(learningRate));
    }
}

}  // namespace dadimero
