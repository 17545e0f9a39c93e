#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dadimero {

// Takes INT, TERM and CHLD out of normal delivery for the life of the object,
// so that the program notices them where it waits (wait()) instead of dying
// mid-way: a stop by Ctrl-C or TERM then ends every process it started and
// still prints its summary. Children start with the mask the process had.
class SignalWatch {
  public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // Waits at most `timeout` for INT or TERM; returns the signal, or 0 when
    // none came (a child's end also ends the wait early).
    int wait(std::chrono::milliseconds timeout) const;
    const sigset_t& childMask() const { return previous_; }

    // Runs `work` on a thread of its own while waiting for INT and TERM. A
    // signal ends the process at once, with 128 + the signal, after the line
    // "dadimero-dataset: interrupted by INT; `note`": `work` must leave
    // nothing half done when it is cut off (it only reads, or writes at its end
    // whole or not at all).
    void runOrEndOnSignal(const std::function<void()>& work, const std::string& note) const;

  private:
    sigset_t watched_;
    sigset_t previous_;
};

struct ChildOptions {
    std::filesystem::path workingDirectory;  // empty: this one
    std::filesystem::path output;            // standard output and error; empty: inherited
    bool appendOutput = false;
    bool ownProcessGroup = false;          // so that it and its children can be stopped together
    const sigset_t* signalMask = nullptr;  // the child's; null: this process's
};

// Starts argv[0] (a path) with the arguments. Throws std::runtime_error when
// no process can be made; a program that cannot be executed exits 127 after
// one line naming it on its output.
pid_t startChild(const std::vector<std::string>& argv, const ChildOptions& options);

// The exit status as a shell gives it: the exit code, or 128 + the signal
// that ended the process.
int shellStatus(int waitStatus);

// Waits for the child and returns its shell status; retries on EINTR.
int waitForChild(pid_t pid);

// The absolute path of this program's executable.
std::filesystem::path thisExecutable();

}  // namespace dadimero

namespace dadimero {

// Runs the command to its end with standard output and error captured into
// `output`; returns its shell status (127 when it cannot be executed).
int runCommand(const std::vector<std::string>& argv, std::string& output,
               const sigset_t* signalMask = nullptr);

}  // namespace dadimero
