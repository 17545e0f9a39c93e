#include "dataset_runner.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "fatal_error.hpp"

#include "dataset_end.hpp"
#include "engines.hpp"
#include "output_lock.hpp"
#include "parallel_for.hpp"
#include "run_options.hpp"
#include "run_record.hpp"
#include "slurm_engine.hpp"
#include "sweep_settings.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

fs::path absoluteRoot(const fs::path& path) {
    fs::path absolute = fs::absolute(path).lexically_normal();
    if (absolute.filename().empty() && absolute.has_parent_path() && absolute != "/") {
        absolute = absolute.parent_path();
    }
    return absolute;
}

bool commandExists(const std::string& name, const SignalWatch& signals) {
    std::string output;
    return runCommand({"sh", "-c", "command -v " + name}, output, &signals.childMask()) == 0;
}

std::vector<Setting> settingsOf(const DatasetOptions& o) {
    if (!o.sweep) return {Setting{"", {}}};
    std::vector<Setting> settings;
    try {
        settings = o.grids.empty() ? fileSettings(o.settingsFile) : gridSettings(o.grids);
        checkSettings(settings, o.dadiOptions);
    } catch (const std::runtime_error& error) {
        throw DatasetUsageError(error.what());
    }
    return settings;
}

// A folder of its own for this start's plan and task logs, in the output
// root's .dadimero/ folder, where every machine sees it.
fs::path startFolder(const fs::path& outputRoot, const char* kind) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    const fs::path folder = outputRoot / ".dadimero" /
                            (std::string(kind) + "-" + stamp + "-" + std::to_string(getpid()));
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw std::runtime_error("cannot create " + folder.string() + ": " + error.message());
    return folder;
}

// A folder of this start's own in the temporary folder ($TMPDIR or /tmp).
fs::path privateFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/dadimero-dataset.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder from " + pattern + ": " +
                                 std::strerror(errno));
    }
    return pattern;
}

ThreadsRule threadsRule(const DatasetOptions& o, size_t pending) {
    switch (o.engine) {
        case Engine::Slurm:
            return {ThreadsRule::SlurmCpus, 1};
        case Engine::Ssh:
            return {ThreadsRule::Fixed, 1};
        case Engine::ThisMachine:
            break;
    }
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int jobs = o.jobs > 0 ? o.jobs : cores;
    const int concurrent = static_cast<int>(std::min<size_t>(jobs, std::max<size_t>(pending, 1)));
    if (concurrent <= 1) return {ThreadsRule::Leave, 0};
    return {ThreadsRule::Fixed, std::max(1, cores / concurrent)};
}

}  // namespace

int runDataset(const DatasetOptions& o, const SignalWatch& signals) {
    DatasetPlan plan;
    const fs::path self = thisExecutable();
    plan.program = o.program.empty() ? self.parent_path() / "DADI-MERO" : fs::absolute(o.program);
    if (access(plan.program.c_str(), X_OK) != 0) {
        throw DatasetUsageError("no executable " + plan.program.string() +
                                " (build it, or name one with --bin)");
    }
    if (o.engine == Engine::Ssh) {
        if (!commandExists("parallel", signals)) {
            throw DatasetUsageError("GNU parallel is not installed (scripts/install-deps.sh)");
        }
        if (access(o.sshLoginFile.c_str(), R_OK) != 0) {
            throw DatasetUsageError("cannot read " + o.sshLoginFile.string());
        }
    }
    if (o.engine == Engine::Slurm && !commandExists("sbatch", signals)) {
        throw DatasetUsageError("sbatch is not here: start --slurm on a login node of the cluster");
    }
    std::error_code error;
    if (!fs::is_directory(o.datasetRoot, error)) {
        throw DatasetUsageError("no dataset directory " + o.datasetRoot.string());
    }
    plan.datasetRoot = absoluteRoot(o.datasetRoot);
    plan.outputRoot = absoluteRoot(o.outputRoot);
    if (fs::equivalent(plan.datasetRoot, plan.outputRoot, error)) {
        throw DatasetUsageError("OUTPUT_ROOT must be another folder than DATASET_ROOT");
    }
    fs::create_directories(plan.outputRoot, error);
    if (error) throw DatasetUsageError("cannot create " + plan.outputRoot.string());
    plan.sweep = o.sweep;
    plan.fixedOptions = o.dadiOptions;
    try {
        readRunOptions(plan.fixedOptions);
    } catch (const FatalError& failure) {
        std::fputs(failure.message.c_str(), stderr);
        return 2;
    }
    plan.settings = settingsOf(o);

    OutputLock lock(plan.outputRoot, OutputLock::Refuse);
    refuseWhileSubmissionRuns(plan.outputRoot, signals);
    std::vector<fs::path> loops;
    plan.sequences = findSequences(plan.datasetRoot, loops);
    for (const fs::path& loop : loops) {
        std::fprintf(stderr,
                     "dadimero-dataset: not following %s: it leads back into its own path\n",
                     displayPath(loop).c_str());
    }
    if (plan.sequences.empty()) {
        std::fprintf(stderr, "dadimero-dataset: no sequence (directory holding input/) under %s\n",
                     displayPath(plan.datasetRoot).c_str());
        return 1;
    }

    // What is complete, what has no frames, what is to run.
    std::vector<ExpectedRun> expected;
    std::vector<RunState> states(plan.runCount());
    signals.runOrEndOnSignal(
        [&] {
            expected = expectedRuns(plan);
            forEachInParallel(plan.runCount(), [&](size_t run) {
                const ExpectedRun& e = expected[run];
                states[run] =
                    e.frames && e.frames->empty()
                        ? RunState::NotRun
                        : checkRun(plan.folderOf(run), e.options, e.inputs, e.frames).state;
            });
        },
        "no run was started");
    std::vector<size_t> skipped;
    size_t noFrames = 0;
    for (size_t run = 0; run < plan.runCount(); ++run) {
        if (expected[run].frames && expected[run].frames->empty()) {
            ++noFrames;
        } else if (states[run] == RunState::Complete) {
            skipped.push_back(run);
        } else {
            plan.toRun.push_back(run);
        }
    }
    std::string header = "dadimero-dataset: " + std::to_string(plan.sequences.size()) +
                         (plan.sequences.size() == 1 ? " sequence" : " sequences");
    if (plan.sweep) {
        header += " x " + std::to_string(plan.settings.size()) +
                  " settings = " + std::to_string(plan.runCount()) + " runs";
    }
    header += ", " + std::to_string(skipped.size()) + " already complete (skipped)";
    if (noFrames > 0) header += ", " + std::to_string(noFrames) + " with no frames (not run)";
    std::printf("%s, %zu to run\n", header.c_str(), plan.toRun.size());
    for (const size_t run : skipped)
        std::printf("  skipped (complete): %s\n", plan.nameOf(run).c_str());
    std::fflush(stdout);
    // What the summary reads must come from this start: a task writes the
    // options when it starts and the status when it ends.
    for (const size_t run : plan.toRun) {
        fs::remove(plan.folderOf(run) / kStatusRecord, error);
        fs::remove(plan.folderOf(run) / kOptionsRecord, error);
    }
    plan.threads = threadsRule(o, plan.toRun.size());

    if (o.engine == Engine::Slurm && !plan.toRun.empty()) {
        EngineFiles files{self, {}, startFolder(plan.outputRoot, "slurm")};
        files.planFile = files.folder / "plan";
        savePlan(plan, files.planFile);
        SlurmOptions slurm{o.sbatchArgs, o.cpusPerTask, o.throttle, o.wait};
        return runOnSlurm(plan, files, slurm, signals, lock);
    }
    EngineResult result;
    if (!plan.toRun.empty()) {
        // On this machine alone, the plan and the task logs stay off the output
        // folder, so that a full output disk cannot swallow why a run failed.
        EngineFiles files{
            self,
            {},
            o.engine == Engine::Ssh ? startFolder(plan.outputRoot, "ssh") : privateFolder()};
        files.planFile = files.folder / "plan";
        savePlan(plan, files.planFile);
        if (o.engine == Engine::Ssh) {
            result = runOverSsh(plan, files, o.sshLoginFile, o.jobs, signals);
        } else {
            const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
            result = runOnThisMachine(plan, files, o.jobs > 0 ? o.jobs : cores, signals);
        }
        fs::remove_all(files.folder, error);
    }
    return finishDataset(plan, expected, result.ends, result.interruptedBy, signals);
}

}  // namespace dadimero
