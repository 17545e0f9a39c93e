#pragma once

#include <string>
#include <vector>

struct BenchOptions {
    int repeat = 3;
    bool json = false;       // one JSON object on standard output instead of the table
    std::string program;     // the DADI-MERO executable
    std::string plotDir;     // where the speed-versus-F-measure pictures go; none when empty
    int scalingFrames = 40;  // frames of each block side's run in the scaling table
    std::vector<std::string> sequences;
};

// Parses the command line; throws std::invalid_argument with the usage text.
BenchOptions parseBenchOptions(int argc, char** argv);
