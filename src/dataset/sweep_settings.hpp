#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "dataset_plan.hpp"

namespace dadimero {

// The settings of a grid: the Cartesian product of every --grid "OPTION
// V1,V2,...", the first grid varying slowest. Throws std::runtime_error (a
// usage error) for a grid that is not an option and values.
std::vector<Setting> gridSettings(const std::vector<std::string>& grids);

// The settings of a file: one setting a line, options as a shell writes them
// ("-e2 0.004 -nameCE 'bg 2.png'"); blank lines and lines starting with # are
// skipped. Throws std::runtime_error naming the file and line.
std::vector<Setting> fileSettings(const std::filesystem::path& file);

// A setting's folder: its options as "name=value" joined by commas in the
// order given ("e2=0.004,c2=0.02"), "defaults" for none. Characters a file
// name should not hold become "_", and a name so changed or longer than 100
// characters ends in "~" and a hash of the options, so that two settings
// never share a folder. The same options always give the same name.
std::string settingFolder(const std::vector<std::string>& options);

// Refuses, with one sentence naming the settings, what cannot be a sweep:
// options without a usable value (the program's own message), the same
// setting twice, an option both swept and fixed, or -threads swept (the masks
// are the same for every value).
void checkSettings(const std::vector<Setting>& settings,
                   const std::vector<std::string>& fixedOptions);

}  // namespace dadimero
