#pragma once

#include "run/command_line.hpp"

// Runs DADI-MERO on the command line `args` (entry 0 the program name): the
// parameter report, the initial models, the calibration phase and the online
// phase, writing one mask per online frame into the working directory.
// Returns the exit code of a complete run; every failure throws FatalError.
int runDadiMero(ArgumentList args);
