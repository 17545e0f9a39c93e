#pragma once

#include <string>
#include <vector>

#include "command_line.hpp"
#include "run_parameters.hpp"

namespace dadimero {

// DADI-MERO's options as the program reads them from its command line
// (the first of a repeated option wins, unknown ones are ignored). Throws
// FatalError with the program's own message when one has no usable value, so
// that a dataset run refuses it before starting anything.
RunParameters readRunOptions(const std::vector<std::string>& options,
                             TakenOptions* taken = nullptr);

// The record of the options that can change a mask: each taken option but
// -threads (the masks are the same for every value), "name\nvalue\n", in the
// order the program reads them. Argument order, repeats and unknown options
// do not change it, so they never force a run again.
std::string optionsRecord(const std::vector<std::string>& options);

}  // namespace dadimero
