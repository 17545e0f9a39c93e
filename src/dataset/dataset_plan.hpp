#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "sequence_discovery.hpp"

namespace dadimero {

// One setting of a sweep: its options and the folder its runs go to.
struct Setting {
    std::string folder;                // below the output root; empty for a plain run
    std::vector<std::string> options;  // DADI-MERO options, as given
};

// How each run's worker threads are set, after the user's options (so that a
// -threads of the user's wins).
struct ThreadsRule {
    enum Kind { Leave, Fixed, SlurmCpus } kind = Leave;
    int threads = 1;  // for Fixed
};

// Everything an engine needs to run, and the collecting step to judge, the
// runs of one start of the dataset program: every setting over every
// sequence. Run r is setting r / sequences.size() over sequence r %
// sequences.size(). Saved as a file that every engine's tasks read, so that
// names of any kind (a newline, quotes, a leading dash) travel unharmed.
struct DatasetPlan {
    std::filesystem::path program;      // DADI-MERO, absolute
    std::filesystem::path datasetRoot;  // absolute
    std::filesystem::path outputRoot;   // absolute
    bool sweep = false;
    std::vector<Setting> settings;          // one, without a folder, for a plain run
    std::vector<std::string> fixedOptions;  // after --, for every run
    std::vector<DatasetSequence> sequences;
    ThreadsRule threads;
    std::vector<size_t> toRun;  // the runs an engine is asked to run

    size_t runCount() const { return settings.size() * sequences.size(); }
    const Setting& settingOf(size_t run) const { return settings[run / sequences.size()]; }
    const DatasetSequence& sequenceOf(size_t run) const {
        return sequences[run % sequences.size()];
    }
    // The run's output folder: OUTPUT_ROOT[/setting]/relative path.
    std::filesystem::path folderOf(size_t run) const;
    // The setting's folder of results: OUTPUT_ROOT[/setting].
    std::filesystem::path resultsRootOf(size_t setting) const;
    // The options of the run, before any -threads the rule adds: the
    // setting's, then the fixed ones.
    std::vector<std::string> optionsOf(size_t run) const;
    // "setting/relative path" (or the relative path alone), for messages.
    std::string nameOf(size_t run) const;
};

// Writes the plan to `path` (whole or not at all) or reads it back. Both
// throw std::runtime_error naming the file.
void savePlan(const DatasetPlan& plan, const std::filesystem::path& path);
DatasetPlan loadPlan(const std::filesystem::path& path);

}  // namespace dadimero
