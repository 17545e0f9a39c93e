#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace dadimero {

// A command line the user got wrong: one line, without a newline (exit 2).
struct DatasetUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Engine { ThisMachine, Ssh, Slurm };

// The command line of `run` and `sweep`.
struct DatasetOptions {
    bool sweep = false;
    std::filesystem::path datasetRoot;
    std::filesystem::path outputRoot;
    std::vector<std::string> dadiOptions;  // after --
    std::filesystem::path program;         // --bin; empty: beside this program
    Engine engine = Engine::ThisMachine;
    int jobs = 0;  // -j; 0: one per core (one per core of each machine over ssh)
    std::filesystem::path sshLoginFile;
    std::vector<std::string> sbatchArgs;
    int cpusPerTask = 1;
    int throttle = 0;
    bool wait = false;
    std::vector<std::string> grids;      // sweep --grid
    std::filesystem::path settingsFile;  // sweep --settings
};

// Parses the arguments after the subcommand; throws DatasetUsageError.
DatasetOptions parseDatasetOptions(bool sweep, const std::vector<std::string>& args);

// The usage text (-h, --help).
const char* datasetUsage();

}  // namespace dadimero
