#include "subtractor/settings_checks.hpp"

#include <cmath>
#include <string>

#include "subtractor/public_errors.hpp"

namespace dadimero {

namespace {

// "%g", with "nan" for every NaN ("%g" alone writes "-nan" for one with its sign set).
std::string text(double value) {
    return std::isnan(value) ? "nan" : cv::format("%g", value);
}

[[noreturn]] void refuse(const char* name, const std::string& rule, const std::string& value) {
    fail(cv::Error::StsOutOfRange, std::string(name) + " must be " + rule + ", got " + value);
}

void checkSetting(const SettingField& setting, const Settings& settings) {
    std::visit(
        [&](auto field) {
            const auto value = settings.*field;
            using Value = std::remove_cv_t<decltype(value)>;
            if constexpr (!std::is_same_v<Value, bool>) {
                const std::string shown =
                    std::is_same_v<Value, int> ? std::to_string(value) : text(value);
                if (!std::isfinite(static_cast<double>(value))) {
                    refuse(setting.name, "a finite number", shown);
                }
                const double v = value;
                if (v < setting.least || v > setting.most ||
                    (setting.step > 0 && std::fmod(v - setting.least, setting.step) != 0)) {
                    refuse(setting.name, setting.accepted, shown);
                }
            }
        },
        setting.field);
}

}  // namespace

void checkProgramSettings(const Settings& settings) {
    for (const SettingField& setting : kSettingFields)
        if (setting.fixed) checkSetting(setting, settings);
}

void checkSettings(const Settings& settings) {
    for (const SettingField& setting : kSettingFields)
        checkSetting(setting, settings);
    if (settings.gamma > settings.beta) {
        refuse("gamma", "at most beta (" + text(settings.beta) + ")", text(settings.gamma));
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
