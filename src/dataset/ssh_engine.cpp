#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>

#include "engines.hpp"
#include "progress_display.hpp"
#include "run_record.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// GNU parallel's job log: a header, then one tab-separated line per finished
// job: Seq Host Starttime JobRuntime Send Receive Exitval Signal Command.
// Seq counts the jobs from 1 in the order of their arguments.
size_t readJobLog(const fs::path& jobLog, std::vector<TaskEnd>* ends) {
    std::ifstream file(jobLog);
    std::string line;
    size_t finished = 0;
    std::getline(file, line);  // the header
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::vector<std::string> cells;
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        if (cells.size() < 8) continue;
        ++finished;
        if (ends == nullptr) continue;
        const size_t seq = std::strtoull(cells[0].c_str(), nullptr, 10);
        if (seq == 0 || seq > ends->size()) continue;
        const int exitValue = std::atoi(cells[6].c_str());
        const int signal = std::atoi(cells[7].c_str());
        (*ends)[seq - 1].status = signal != 0 ? 128 + signal : exitValue;
    }
    return finished;
}

// The jobs' output, each line tagged with its job's argument (its index):
// the last line of each job is its own failure, if it printed one.
void readTaggedOutput(const fs::path& output, std::vector<TaskEnd>& ends) {
    std::ifstream file(output);
    std::string line;
    while (std::getline(file, line)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) continue;
        const std::string tag = line.substr(0, tab);
        if (tag.find_first_not_of("0123456789") != std::string::npos) continue;
        const size_t index = std::strtoull(tag.c_str(), nullptr, 10);
        const std::string text = line.substr(tab + 1);
        if (index < ends.size() && text.find_first_not_of(" \t\r") != std::string::npos) {
            ends[index].message = text;
        }
    }
}

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(it->path() / "stat");
        std::string text;
        std::getline(stat, text);
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 1));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent) children.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return children;
}

}  // namespace

EngineResult runOverSsh(const DatasetPlan& plan, const EngineFiles& files,
                        const fs::path& sshLoginFile, int jobs, const SignalWatch& signals) {
    EngineResult result;
    result.ends.resize(plan.toRun.size());
    const fs::path indices = files.folder / "indices";
    const fs::path jobLog = files.folder / "parallel.joblog";
    const fs::path output = files.folder / "parallel.out";
    {
        std::ofstream list(indices);
        for (size_t i = 0; i < plan.toRun.size(); ++i)
            list << i << '\n';
        if (!list) throw std::runtime_error("cannot write " + indices.string());
    }
    std::vector<std::string> argv = {"/usr/bin/env",
                                     "parallel",
                                     "--will-cite",
                                     "--quote",
                                     "--tag",
                                     "--joblog",
                                     jobLog.string(),
                                     "--termseq",
                                     "TERM,2000,KILL,100",
                                     "--sshloginfile",
                                     sshLoginFile.string(),
                                     "-a",
                                     indices.string()};
    if (jobs > 0) argv.insert(argv.end(), {"-j", std::to_string(jobs)});
    argv.insert(argv.end(), {files.self.string(), "task", files.planFile.string()});
    ChildOptions child;
    child.output = output;
    child.ownProcessGroup = true;
    child.signalMask = &signals.childMask();
    const pid_t parallel = startChild(argv, child);
    for (TaskEnd& end : result.ends)
        end.started = true;
    ProgressDisplay progress;
    Clock::time_point stoppedAt{};
    Clock::time_point lastAsked{};
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(parallel, &status, WNOHANG);
        if (ended == parallel) break;
        progress.show(readJobLog(jobLog, nullptr), plan.toRun.size(), 0, 0);
        if (const int signal = signals.wait(std::chrono::milliseconds(200)); signal != 0) {
            if (result.interruptedBy == 0) {
                result.interruptedBy = signal;
                stoppedAt = Clock::now();
            }
        }
        if (result.interruptedBy == 0) continue;
        // GNU parallel ignores TERM until its first job has started: ask again;
        // still there after 10 s, each of its jobs leads a process group.
        const auto now = Clock::now();
        if (now - lastAsked > std::chrono::seconds(2)) {
            kill(parallel, SIGTERM);
            lastAsked = now;
        }
        if (now - stoppedAt > std::chrono::seconds(10)) {
            for (const pid_t job : childrenOf(parallel))
                kill(-job, SIGKILL);
            kill(parallel, SIGKILL);
        }
    }
    progress.clear();
    readJobLog(jobLog, &result.ends);
    readTaggedOutput(output, result.ends);
    const int parallelStatus = shellStatus(status);
    if (result.interruptedBy == 0 && parallelStatus == 255) {
        throw std::runtime_error("GNU parallel failed: " + lastLineOf(output));
    }
    return result;
}

}  // namespace dadimero
