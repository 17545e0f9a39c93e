#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <map>
#include <set>

#include "engines.hpp"
#include "progress_display.hpp"
#include "run_record.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kGracePeriod = std::chrono::seconds(10);

}  // namespace

EngineResult runOnThisMachine(const DatasetPlan& plan, const EngineFiles& files, int jobs,
                              const SignalWatch& signals) {
    EngineResult result;
    result.ends.resize(plan.toRun.size());
    std::map<pid_t, size_t> running;  // task (leading its process group) -> index in toRun
    std::set<pid_t> stopping;         // groups of stopped tasks, until all of them are gone
    size_t next = 0;
    size_t done = 0;
    size_t failed = 0;
    Clock::time_point killAt{};
    ProgressDisplay progress;
    auto logOf = [&](size_t index) {
        return files.folder / ("task-" + std::to_string(index) + ".log");
    };
    while (next < plan.toRun.size() || !running.empty() || !stopping.empty()) {
        while (next < plan.toRun.size() && running.size() < static_cast<size_t>(jobs)) {
            const std::vector<std::string> argv = {files.self.string(), "task",
                                                   files.planFile.string(), std::to_string(next)};
            ChildOptions child;
            child.output = logOf(next);
            child.ownProcessGroup = true;
            child.signalMask = &signals.childMask();
            const pid_t pid = startChild(argv, child);
            result.ends[next].started = true;
            running[pid] = next++;
        }
        progress.show(done, plan.toRun.size(), running.size(), failed);
        if (const int signal = signals.wait(std::chrono::milliseconds(100)); signal != 0) {
            // A second signal does not wait for the grace period.
            const bool again = result.interruptedBy != 0;
            if (!again) result.interruptedBy = signal;
            next = plan.toRun.size();
            for (const auto& [pid, index] : running) {
                stopping.insert(pid);
                kill(-pid, again ? SIGKILL : SIGTERM);
            }
            killAt = again ? Clock::now() : Clock::now() + kGracePeriod;
        }
        int status = 0;
        for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
            const auto it = running.find(pid);
            if (it == running.end()) continue;
            TaskEnd& end = result.ends[it->second];
            end.status = shellStatus(status);
            end.message = end.status != 0 ? lastLineOf(logOf(it->second)) : "";
            ++done;
            if (end.status != 0) ++failed;
            running.erase(it);
        }
        // This program reaps the orphans of its tasks (see main), so a group is
        // gone once its last process has ended; one that outlives its KILL by
        // far is given up on.
        for (auto it = stopping.begin(); it != stopping.end();) {
            const bool gone = kill(-*it, 0) != 0 && errno == ESRCH;
            if (gone || Clock::now() >= killAt + kGracePeriod) {
                it = stopping.erase(it);
                continue;
            }
            if (Clock::now() >= killAt) kill(-*it, SIGKILL);
            ++it;
        }
    }
    return result;
}

}  // namespace dadimero
