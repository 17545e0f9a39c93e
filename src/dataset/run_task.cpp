#include "run_task.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "fatal_error.hpp"

#include "child_process.hpp"
#include "input_fingerprint.hpp"
#include "run_completeness.hpp"
#include "run_options.hpp"
#include "run_outcome.hpp"
#include "run_record.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

// Holds an exclusive lock on the run's folder while it lives. Where the file
// system has no locks (some cluster file systems), the run goes on without.
class FolderLock {
  public:
    explicit FolderLock(const fs::path& folder) {
        fd_ = open((folder / ".DADI-MERO.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_ = -1;
};

}  // namespace

int addedThreads(const ThreadsRule& rule) {
    switch (rule.kind) {
        case ThreadsRule::Leave:
            return 0;
        case ThreadsRule::Fixed:
            return rule.threads;
        case ThreadsRule::SlurmCpus: {
            const char* cpus = std::getenv("SLURM_CPUS_PER_TASK");
            const int count = cpus != nullptr ? std::atoi(cpus) : 0;
            return count > 0 ? count : 1;
        }
    }
    return 0;
}

int runTask(const DatasetPlan& plan, size_t run) {
    const fs::path folder = plan.folderOf(run);
    const DatasetSequence& sequence = plan.sequenceOf(run);
    const std::vector<std::string> options = plan.optionsOf(run);
    try {
        std::error_code error;
        fs::create_directories(folder, error);
        if (error)
            throw std::runtime_error("cannot create " + folder.string() + ": " + error.message());
        const FolderLock lock(folder);
        const std::string record = optionsRecord(options);
        const std::string inputs = inputFingerprint(sequence.path);
        const std::optional<RunFrames> frames = framesOfRun(readRunOptions(options), sequence.path);
        if (checkRun(folder, record, inputs, frames).state == RunState::Complete) return 0;

        clearRunFolder(folder);
        writeRecord(folder, kOptionsRecord, record);
        writeRecord(folder, kInputsRecord, inputs);
        std::vector<std::string> argv = {plan.program.string(), sequence.path.string()};
        argv.insert(argv.end(), options.begin(), options.end());
        if (const int threads = addedThreads(plan.threads); threads > 0) {
            argv.insert(argv.end(), {"-threads", std::to_string(threads)});
        }
        ChildOptions child;
        child.workingDirectory = folder;
        child.output = folder / kRunLog;
        const int status = waitForChild(startChild(argv, child));
        try {
            writeRecord(folder, kStatusRecord, std::to_string(status) + "\n");
        } catch (const std::runtime_error& failure) {
            std::fprintf(stderr, "%sDADI-MERO %s, but its status could not be recorded: %s\n",
                         kTaskFailure, exitDescription(status, folder).c_str(), failure.what());
            return status != 0 ? status : 1;
        }
        return status;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s%s\n", kTaskFailure, failure.what());
        return 1;
    } catch (const FatalError& failure) {  // options checked before any task starts
        std::fprintf(stderr, "%s%s", kTaskFailure, failure.message.c_str());
        return failure.exitCode;
    }
}

}  // namespace dadimero
