#pragma once

#include <opencv2/core.hpp>

#include "dadimero/dadimero.hpp"

namespace dadimero {

// The settings as cv::FileStorage keys, one per entry of kSettingFields (a
// bool as 0 or 1), and back: readSettings takes the keys it finds over
// `settings` and throws (StsParseError) for a value of the wrong type or a key
// that no setting has, as another algorithm's settings have.
void writeSettings(cv::FileStorage& fs, const Settings& settings);
Settings readSettings(const cv::FileNode& node, Settings settings);

}  // namespace dadimero
