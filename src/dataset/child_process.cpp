#include "child_process.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace dadimero {

SignalWatch::SignalWatch() {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    sigaddset(&watched_, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
}

SignalWatch::~SignalWatch() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

int SignalWatch::wait(std::chrono::milliseconds timeout) const {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
    const timespec limit{static_cast<time_t>(seconds.count()),
                         static_cast<long>((timeout - seconds).count() * 1000000)};
    const int signal = sigtimedwait(&watched_, nullptr, &limit);
    return signal == SIGINT || signal == SIGTERM ? signal : 0;
}

void SignalWatch::runOrEndOnSignal(const std::function<void()>& work,
                                   const std::string& note) const {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) {
        if (const int signal = wait(std::chrono::milliseconds(100)); signal != 0) {
            std::fflush(stdout);
            std::fprintf(stderr, "dadimero-dataset: interrupted by %s; %s\n",
                         signal == SIGINT ? "INT" : "TERM", note.c_str());
            std::_Exit(128 + signal);  // the worker goes with the process
        }
    }
    worker.join();
}

pid_t startChild(const std::vector<std::string>& argv, const ChildOptions& options) {
    std::vector<char*> pointers;
    for (const std::string& arg : argv)
        pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("cannot start a process: ") + std::strerror(errno));
    if (pid > 0) return pid;
    // The child: only async-signal-safe calls until exec.
    if (options.ownProcessGroup) setpgid(0, 0);
    if (options.signalMask != nullptr) pthread_sigmask(SIG_SETMASK, options.signalMask, nullptr);
    const int input = open("/dev/null", O_RDONLY);
    if (input >= 0) dup2(input, 0);
    if (!options.output.empty()) {
        const int flags = O_WRONLY | O_CREAT | (options.appendOutput ? O_APPEND : O_TRUNC);
        const int output = open(options.output.c_str(), flags, 0666);
        if (output < 0) _exit(126);
        dup2(output, 1);
        dup2(output, 2);
    }
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
        _exit(126);
    }
    execv(pointers[0], pointers.data());
    const char* reason = std::strerror(errno);
    const char* parts[] = {"cannot run ", pointers[0], ": ", reason, "\n"};
    for (const char* part : parts) {
        if (write(2, part, std::strlen(part)) < 0) break;
    }
    _exit(127);
}

int shellStatus(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return 255;
}

int waitForChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return 255;
    }
    return shellStatus(status);
}

std::filesystem::path thisExecutable() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) throw std::runtime_error("cannot find this program's own path");
    return self;
}

}  // namespace dadimero

namespace dadimero {

int runCommand(const std::vector<std::string>& argv, std::string& output,
               const sigset_t* signalMask) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    std::vector<char*> pointers;
    for (const std::string& arg : argv)
        pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        throw std::runtime_error(std::string("cannot start a process: ") + std::strerror(errno));
    }
    if (pid == 0) {
        if (signalMask != nullptr) pthread_sigmask(SIG_SETMASK, signalMask, nullptr);
        const int input = open("/dev/null", O_RDONLY);
        if (input >= 0) dup2(input, 0);
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
    close(pipeFds[1]);
    output.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        output.append(buffer, static_cast<size_t>(got));
    }
    close(pipeFds[0]);
    return waitForChild(pid);
}

}  // namespace dadimero
