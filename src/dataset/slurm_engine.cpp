#include "slurm_engine.hpp"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "image_files.hpp"

#include "dataset_end.hpp"
#include "output_lock.hpp"
#include "progress_display.hpp"
#include "run_record.hpp"
#include "shell_words.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

// Where a submission is recorded: every array (its job id, its first entry of
// the plan's toRun, its task count) and the collecting job.
constexpr const char* kJobsFile = "jobs";
constexpr const char* kCollectExit = "collect.exit";
// In the output root's .dadimero/: the folder of the latest submission.
constexpr const char* kLatestSubmission = "slurm-submission";

struct ArrayJob {
    std::string id;
    size_t offset = 0;
    size_t count = 0;
};

struct Submission {
    std::vector<ArrayJob> arrays;
    std::string collectId;

    std::vector<std::string> arrayIds() const {
        std::vector<std::string> ids;
        for (const ArrayJob& a : arrays)
            ids.push_back(a.id);
        return ids;
    }
    std::vector<std::string> allIds() const {
        std::vector<std::string> ids = arrayIds();
        if (!collectId.empty()) ids.push_back(collectId);
        return ids;
    }
};

std::string joined(const std::vector<std::string>& words, const char* separator) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : separator) + word;
    return text;
}

void writeTextFile(const fs::path& path, const std::string& text, bool executable = false) {
    if (writeFileBytes(path.string(), text.data(), text.size()) != WriteResult::Written) {
        throw std::runtime_error("cannot write " + path.string());
    }
    if (executable) chmod(path.c_str(), 0755);
}

std::string firstLine(const std::string& text) {
    const size_t end = text.find_first_of("\r\n");
    return text.substr(0, end);
}

bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int maxArraySize(const SignalWatch& signals) {
    std::string output;
    if (runCommand({"scontrol", "show", "config"}, output, &signals.childMask()) != 0) {
        throw std::runtime_error("scontrol show config failed: " + firstLine(output));
    }
    // A line "MaxArraySize            = 1001".
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string name, equals, value;
        if (words >> name >> equals >> value && name == "MaxArraySize" && equals == "=" &&
            allDigits(value) && value.size() < 10) {
            return std::max(1, std::stoi(value));
        }
    }
    return 1001;  // Slurm's default
}

// sbatch --parsable prints "JOBID" or "JOBID;CLUSTER" on a line of its own,
// perhaps after warnings.
std::string submit(const std::vector<std::string>& argv, const SignalWatch& signals) {
    std::string output;
    const int status = runCommand(argv, output, &signals.childMask());
    std::istringstream lines(output);
    std::string id;
    for (std::string line; std::getline(lines, line);) {
        const std::string first = line.substr(0, line.find_first_of("; \t\r"));
        if (allDigits(first)) id = first;
    }
    if (status != 0 || id.empty()) {
        throw std::runtime_error("sbatch failed" +
                                 (output.empty() ? std::string() : ": " + firstLine(output)));
    }
    return id;
}

void saveSubmission(const fs::path& folder, const Submission& s) {
    std::string text;
    for (const ArrayJob& a : s.arrays)
        text +=
            "array " + a.id + " " + std::to_string(a.offset) + " " + std::to_string(a.count) + "\n";
    text += "collect " + s.collectId + "\n";
    writeTextFile(folder / kJobsFile, text);
}

Submission loadSubmission(const fs::path& folder) {
    std::ifstream file(folder / kJobsFile);
    if (!file) throw std::runtime_error("cannot read " + (folder / kJobsFile).string());
    Submission s;
    for (std::string kind; file >> kind;) {
        if (kind == "array") {
            ArrayJob a;
            file >> a.id >> a.offset >> a.count;
            s.arrays.push_back(a);
        } else if (kind == "collect") {
            file >> s.collectId;
        }
    }
    return s;
}

// The queued and running entries of the jobs, as squeue shows them: array
// tasks one by one ("123_4 R"), the collecting job by its id. Nothing when
// squeue cannot be asked.
std::optional<std::map<std::string, std::string>> queueStates(const std::vector<std::string>& ids,
                                                              const SignalWatch& signals) {
    std::string output;
    if (runCommand(
            {"squeue", "--noheader", "--array", "--jobs=" + joined(ids, ","), "--format=%i %t"},
            output, &signals.childMask()) != 0) {
        // squeue refuses a list of job ids none of which it knows any more.
        if (output.find("Invalid job id") != std::string::npos) {
            return std::map<std::string, std::string>{};
        }
        return std::nullopt;
    }
    std::map<std::string, std::string> states;
    std::istringstream lines(output);
    for (std::string id, state; lines >> id >> state;)
        states[id] = state;
    return states;
}

void cancelJobs(const std::vector<std::string>& ids, const SignalWatch& signals) {
    std::string output;
    std::vector<std::string> argv = {"scancel"};
    argv.insert(argv.end(), ids.begin(), ids.end());
    runCommand(argv, output, &signals.childMask());
}

std::vector<TaskEnd> taskEndsFromLogs(const fs::path& folder, const DatasetPlan& plan,
                                      const Submission& submission) {
    std::vector<TaskEnd> ends(plan.toRun.size());
    for (const ArrayJob& a : submission.arrays) {
        for (size_t i = 0; i < a.count && a.offset + i < ends.size(); ++i) {
            const fs::path log = folder / ("task-" + a.id + "_" + std::to_string(i) + ".out");
            TaskEnd& end = ends[a.offset + i];
            end.started = fs::exists(log);
            end.message = lastLineOf(log);
        }
    }
    return ends;
}

// The runs the queue no longer holds have ended; those that left no status 0
// count as failed.
struct QueueProgress {
    std::set<size_t> ended;  // entries of toRun
    size_t failed = 0;
};

// Follows the submitted jobs to their end with a progress line; returns the
// collecting job's exit code after printing its log, or 128 + the signal
// when a stop by INT or TERM cancelled the jobs.
int followSubmission(const DatasetPlan& plan, const EngineFiles& files,
                     const Submission& submission, const SignalWatch& signals) {
    const std::vector<std::string> ids = submission.allIds();
    ProgressDisplay progress;
    QueueProgress seen;
    for (;;) {
        if (const auto states = queueStates(ids, signals)) {
            std::set<size_t> active;
            size_t running = 0;
            size_t pending = 0;
            for (const auto& [id, state] : *states) {
                const size_t underscore = id.find('_');
                if (underscore == std::string::npos) continue;  // the collecting job
                const std::string job = id.substr(0, underscore);
                for (const ArrayJob& a : submission.arrays) {
                    if (a.id != job) continue;
                    active.insert(a.offset +
                                  std::strtoull(id.c_str() + underscore + 1, nullptr, 10));
                }
                (state == "PD" ? pending : running) += 1;
            }
            for (size_t i = 0; i < plan.toRun.size(); ++i) {
                if (active.count(i) != 0 || seen.ended.count(i) != 0) continue;
                seen.ended.insert(i);
                if (readRecord(plan.folderOf(plan.toRun[i]), kStatusRecord) != "0\n") ++seen.failed;
            }
            progress.show(seen.ended.size(), plan.toRun.size(), running, seen.failed,
                          ", " + std::to_string(pending) + " pending");
            if (states->count(submission.collectId) == 0) break;
        }
        if (const int signal = signals.wait(std::chrono::seconds(2)); signal != 0) {
            progress.clear();
            cancelJobs(ids, signals);
            for (int tries = 0; tries < 60; ++tries) {
                const auto states = queueStates(ids, signals);
                if (states && states->empty()) break;
                signals.wait(std::chrono::seconds(1));
            }
            return finishDataset(plan, expectedRuns(plan),
                                 taskEndsFromLogs(files.folder, plan, submission), signal, signals);
        }
    }
    progress.clear();
    // The collecting job's files may take a moment to show on a shared file system.
    const fs::path exitFile = files.folder / kCollectExit;
    const fs::path log = files.folder / ("collect-" + submission.collectId + ".out");
    for (int tries = 0; tries < 30 && !fs::exists(exitFile); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (const std::optional<std::string> text = readRecord(files.folder, log.filename().c_str())) {
        std::fputs(text->c_str(), stdout);
    }
    const std::optional<std::string> code = readRecord(files.folder, kCollectExit);
    if (!code) {
        std::fprintf(stderr,
                     "dadimero-dataset: the collecting job %s ended without a result (log: %s)\n",
                     submission.collectId.c_str(), displayPath(log).c_str());
        return 1;
    }
    return std::atoi(code->c_str());
}

}  // namespace

int collectSlurmRuns(const fs::path& folder, const SignalWatch& signals) {
    const DatasetPlan plan = loadPlan(folder / "plan");
    const Submission submission = loadSubmission(folder);
    const OutputLock lock(plan.outputRoot, OutputLock::Wait);
    const int code = finishDataset(plan, expectedRuns(plan),
                                   taskEndsFromLogs(folder, plan, submission), 0, signals);
    writeTextFile(folder / kCollectExit, std::to_string(code) + "\n");
    return code;
}

void refuseWhileSubmissionRuns(const fs::path& outputRoot, const SignalWatch& signals) {
    const fs::path record = outputRoot / ".dadimero" / kLatestSubmission;
    std::ifstream file(record);
    std::string name;
    if (!std::getline(file, name) || name.empty()) return;
    const fs::path folder = outputRoot / ".dadimero" / name;
    if (!fs::exists(folder / kJobsFile) || fs::exists(folder / kCollectExit)) return;
    const std::vector<std::string> ids = loadSubmission(folder).allIds();
    if (ids.empty()) return;
    const auto states = queueStates(ids, signals);
    if (!states) {
        std::fprintf(stderr,
                     "dadimero-dataset: cannot ask squeue whether the Slurm jobs %s of an earlier "
                     "start are still queued; going on\n",
                     joined(ids, ", ").c_str());
        return;
    }
    if (states->empty()) return;
    throw std::runtime_error("the Slurm jobs " + joined(ids, ", ") + " of an earlier start on " +
                             displayPath(outputRoot) + " are still queued or running: follow " +
                             "them with squeue -j " + joined(ids, ",") + ", or stop them with " +
                             "scancel " + joined(ids, " ") + ", then start again");
}

int runOnSlurm(const DatasetPlan& plan, const EngineFiles& files, const SlurmOptions& options,
               const SignalWatch& signals, OutputLock& lock) {
    const int arraySize = maxArraySize(signals);
    const fs::path taskScript = files.folder / "task.sh";
    const fs::path collectScript = files.folder / "collect.sh";
    writeTextFile(taskScript,
                  "#!/bin/sh\n"
                  "# One run of the plan: array task SLURM_ARRAY_TASK_ID of the array whose\n"
                  "# first run is entry $1 of the plan.\n"
                  "exec " +
                      shellQuoted(files.self.string()) + " task " +
                      shellQuoted(files.planFile.string()) + " \"$(($1 + SLURM_ARRAY_TASK_ID))\"\n",
                  true);
    writeTextFile(collectScript,
                  "#!/bin/sh\n"
                  "# Judges every run, scores them and writes the summaries.\n"
                  "exec " +
                      shellQuoted(files.self.string()) + " collect " +
                      shellQuoted(files.folder.string()) + "\n",
                  true);
    Submission submission;
    try {
        for (size_t offset = 0; offset < plan.toRun.size(); offset += arraySize) {
            const size_t count = std::min<size_t>(arraySize, plan.toRun.size() - offset);
            std::string array = "--array=0-" + std::to_string(count - 1);
            if (options.throttle > 0) array += "%" + std::to_string(options.throttle);
            std::vector<std::string> argv = {
                "sbatch", "--parsable", "--job-name=dadimero-dataset",
                "--cpus-per-task=" + std::to_string(options.cpusPerTask)};
            argv.insert(argv.end(), options.sbatchArgs.begin(), options.sbatchArgs.end());
            argv.insert(argv.end(),
                        {array, "--output=" + (files.folder / "task-%A_%a.out").string(),
                         taskScript.string(), std::to_string(offset)});
            submission.arrays.push_back({submit(argv, signals), offset, count});
        }
        std::vector<std::string> argv = {"sbatch", "--parsable", "--job-name=dadimero-collect",
                                         "--cpus-per-task=1"};
        argv.insert(argv.end(), options.sbatchArgs.begin(), options.sbatchArgs.end());
        if (!submission.arrays.empty()) {
            argv.push_back("--dependency=afterany:" + joined(submission.arrayIds(), ":"));
        }
        argv.insert(argv.end(), {"--output=" + (files.folder / "collect-%j.out").string(),
                                 collectScript.string()});
        submission.collectId = submit(argv, signals);
        saveSubmission(files.folder, submission);
        writeTextFile(plan.outputRoot / ".dadimero" / kLatestSubmission,
                      files.folder.filename().string() + "\n");
    } catch (const std::exception&) {
        if (!submission.allIds().empty()) cancelJobs(submission.allIds(), signals);
        throw;
    }

    const std::vector<std::string> ids = submission.allIds();
    const fs::path collectLog = files.folder / ("collect-" + submission.collectId + ".out");
    std::printf(
        "dadimero-dataset: submitted %zu run%s to Slurm as job array%s %s; job %s "
        "collects them once they have ended\n",
        plan.toRun.size(), plan.toRun.size() == 1 ? "" : "s",
        submission.arrays.size() == 1 ? "" : "s", joined(submission.arrayIds(), ", ").c_str(),
        submission.collectId.c_str());
    std::printf("  follow:  squeue -j %s\n", joined(ids, ",").c_str());
    std::printf("  stop:    scancel %s\n", joined(ids, " ").c_str());
    std::printf("  logs:    %s\n", displayPath(files.folder).c_str());
    std::printf("  summary: %s once job %s has ended\n", displayPath(collectLog).c_str(),
                submission.collectId.c_str());
    std::printf("  resume:  start the same command again; it runs what is not complete\n");
    std::fflush(stdout);
    lock.release();
    if (!options.wait) return 0;
    return followSubmission(plan, files, submission, signals);
}

}  // namespace dadimero
