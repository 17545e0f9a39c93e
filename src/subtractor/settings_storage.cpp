#include "subtractor/settings_storage.hpp"

#include <cfloat>
#include <cmath>
#include <string>

#include "subtractor/public_errors.hpp"

namespace dadimero {

namespace {

constexpr const char* kOwnName = "dadimero_Subtractor";

bool isSetting(const std::string& key) {
    for (const SettingField& setting : kSettingFields)
        if (key == setting.name) return true;
    return false;
}

// Another algorithm's settings hold keys no setting has: OpenCV's own name
// them in "name" (MOG2: "BackgroundSubtractor.MOG2").
void refuseForeignKeys(const cv::FileNode& node) {
    for (const cv::FileNode& entry : node) {
        const std::string key = entry.name();
        if (isSetting(key)) continue;
        const cv::FileNode name = node["name"];
        if (name.isString() && name.string() != kOwnName) {
            fail(cv::Error::StsParseError,
                 "these are the settings of " + name.string() + ", not of " + kOwnName);
        }
        fail(cv::Error::StsParseError,
             "the settings have a key " + key + " that no setting of " + kOwnName + " has");
    }
}

int intOf(const cv::FileNode& value, const char* name) {
    if (!value.isInt()) {
        fail(cv::Error::StsParseError, std::string("the setting ") + name + " must be an integer");
    }
    return static_cast<int>(value);
}

float floatOf(const cv::FileNode& value, const char* name) {
    if (!value.isInt() && !value.isReal()) {
        fail(cv::Error::StsParseError, std::string("the setting ") + name + " must be a number");
    }
    const double number = value.real();
    // Converting a finite double beyond float's range is undefined behaviour.
    if (std::isfinite(number) && std::fabs(number) > FLT_MAX) {
        fail(cv::Error::StsOutOfRange,
             std::string(name) + " must be a finite number, got " + cv::format("%g", number));
    }
    return static_cast<float>(number);
}

bool boolOf(const cv::FileNode& value, const char* name) {
    const int number = intOf(value, name);
    if (number != 0 && number != 1) {
        fail(cv::Error::StsOutOfRange,
             std::string(name) + " must be 0 or 1, got " + std::to_string(number));
    }
    return number != 0;
}

}  // namespace

void writeSettings(cv::FileStorage& fs, const Settings& settings) {
    for (const SettingField& setting : kSettingFields) {
        fs << setting.name;
        std::visit(
            [&](auto field) {
                const auto value = settings.*field;
                if constexpr (std::is_same_v<std::remove_cv_t<decltype(value)>, bool>) {
                    fs << (value ? 1 : 0);
                } else {
                    fs << value;
                }
            },
            setting.field);
    }
}

Settings readSettings(const cv::FileNode& node, Settings settings) {
    if (!node.isMap()) fail(cv::Error::StsParseError, "the settings must be a map of keys");
    refuseForeignKeys(node);
    for (const SettingField& setting : kSettingFields) {
        const cv::FileNode value = node[setting.name];
        if (value.empty()) continue;
        std::visit(
            [&](auto field) {
                auto& target = settings.*field;
                using Value = std::remove_reference_t<decltype(target)>;
                if constexpr (std::is_same_v<Value, int>) {
                    target = intOf(value, setting.name);
                } else if constexpr (std::is_same_v<Value, float>) {
                    target = floatOf(value, setting.name);
                } else {
                    target = boolOf(value, setting.name);
                }
            },
            setting.field);
    }
    return settings;
}

}  // namespace dadimero
