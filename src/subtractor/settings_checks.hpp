#pragma once

#include "dadimero/dadimero.hpp"

namespace dadimero {

// The library's rules (kSettingFields): throws cv::Exception (StsOutOfRange)
// with one sentence naming the first setting that can have no meaning and its
// value.
void checkSettings(const Settings& settings);

// The command line's rules, which it has always had: only the settings that
// fix the model (n and threads) are checked; every other value is taken as it
// is.
void checkProgramSettings(const Settings& settings);

// The learning rate of one apply(): negative, 0 to 1; else throws.
void checkLearningRate(double learningRate);

}  // namespace dadimero
