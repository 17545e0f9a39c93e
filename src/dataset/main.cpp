// dadimero-dataset: DADI-MERO over whole datasets and sweeps of its settings,
// on this machine, over ssh or on a Slurm cluster.
#include <sys/prctl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image_files.hpp"

#include "dataset_options.hpp"
#include "dataset_runner.hpp"
#include "run_outcome.hpp"
#include "run_task.hpp"
#include "slurm_engine.hpp"

namespace {

using namespace dadimero;

int usageError(const std::string& message) {
    std::fprintf(stderr, "dadimero-dataset: %s\n", message.c_str());
    return 2;
}

// `task PLAN INDEX`: run INDEX of the plan's toRun, as every engine starts it.
int task(const std::vector<std::string>& args) {
    if (args.size() != 2) return usageError("task needs PLAN INDEX");
    try {
        const DatasetPlan plan = loadPlan(args[0]);
        char* end = nullptr;
        const unsigned long long index = std::strtoull(args[1].c_str(), &end, 10);
        if (args[1].empty() || *end != '\0' || index >= plan.toRun.size()) {
            return usageError("task: no run " + args[1] + " in " + args[0]);
        }
        return runTask(plan, plan.toRun[index]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s%s\n", dadimero::kTaskFailure, error.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help") {
        std::fputs(datasetUsage(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    silenceImageLibraryLog();
    if (command == "task") return task(rest);
    // Orphans of stopped runs come to this program, which waits for them.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const SignalWatch signals;
    try {
        if (command == "collect") {
            if (rest.size() != 1) return usageError("collect needs the submission's folder");
            return collectSlurmRuns(rest[0], signals);
        }
        if (command != "run" && command != "sweep") {
            return usageError("unknown command '" + command + "': run or sweep (see --help)");
        }
        for (const std::string& a : rest) {
            if (a == "--") break;
            if (a == "-h" || a == "--help") {
                std::fputs(datasetUsage(), stdout);
                return 0;
            }
        }
        return runDataset(parseDatasetOptions(command == "sweep", rest), signals);
    } catch (const DatasetUsageError& error) {
        return usageError(error.what());
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "dadimero-dataset: %s\n", error.what());
        return 1;
    }
}
