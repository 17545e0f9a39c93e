#include "child_process.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(3);
        data += n;
        size -= static_cast<size_t>(n);
    }
}

std::vector<char> readAll(int fd) {
    std::vector<char> bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

// Reaps `pid` and fills the outcome from its status and its own rusage.
void reap(pid_t pid, Clock::time_point start, ChildOutcome& outcome) {
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    outcome.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    outcome.peakRssKb = usage.ru_maxrss;
    outcome.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void redirectToNull(int fd) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, fd) < 0) _exit(126);
    close(null);
}

}  // namespace

ChildOutcome runForked(const ChildBody& body) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    // Buffered output would otherwise be printed twice, once by the child.
    std::fflush(nullptr);
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        int code = 0;
        try {
            const std::vector<char> payload = body();
            writeAll(fds[1], payload.data(), payload.size());
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "dadi-bench child: %s\n", failure.what());
            code = 1;
        } catch (...) {
            code = 1;
        }
        close(fds[1]);
        std::fflush(nullptr);
        _exit(code);
    }
    close(fds[1]);
    ChildOutcome outcome;
    outcome.payload = readAll(fds[0]);
    close(fds[0]);
    reap(pid, start, outcome);
    return outcome;
}

ChildOutcome runProgram(const std::string& program, const std::vector<std::string>& args,
                        const std::string& workDir) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0) _exit(126);
        redirectToNull(STDOUT_FILENO);
        redirectToNull(STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ChildOutcome outcome;
    reap(pid, start, outcome);
    return outcome;
}

long ownPeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
