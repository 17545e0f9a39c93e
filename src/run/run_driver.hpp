#pragma once

#include "dadimero/internal/stage_times.hpp"

#include "command_line.hpp"

namespace dadimero {

// Runs DADI-MERO on the command line `args` (entry 0 the program name): the
// parameter report, the initial models, the calibration phase and the online
// phase, writing one mask per online frame into the working directory.
// Returns the exit code of a complete run; every failure throws FatalError.
// With `times`, the time of every stage is added to it.
int runDadiMero(ArgumentList args, StageTimes* times = nullptr);

}  // namespace dadimero
