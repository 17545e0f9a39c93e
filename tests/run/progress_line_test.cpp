// The progress line: on a terminal it shows and clears itself; anywhere else
// the program writes nothing extra.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/test_sequence.hpp"

namespace fs = std::filesystem;

namespace {

// Runs the program with standard error on a pseudo-terminal and standard output
// into a file; returns what the terminal received.
std::string runOnTerminal(const fs::path& workDir, const std::vector<std::string>& args,
                          std::string& out, int& exitCode) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
    const fs::path outPath = workDir / ".tty-stdout";
    const pid_t child = fork();
    if (child == 0) {
        close(master);
        if (chdir(workDir.c_str()) != 0) _exit(126);
        const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || dup2(outFd, 1) < 0 || dup2(slave, 2) < 0) _exit(126);
        std::vector<std::string> copies = args;
        std::string exe = DADI_MERO_EXE;
        std::vector<char*> argv = {exe.data()};
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(slave);
    std::string terminal;
    char buffer[4096];
    for (;;) {
        pollfd pfd{master, POLLIN, 0};
        if (poll(&pfd, 1, 100) > 0) {
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got > 0) {
                terminal.append(buffer, static_cast<size_t>(got));
                continue;
            }
            if (got <= 0) break;  // EIO: the child's side closed
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            while (true) {
                const ssize_t got = read(master, buffer, sizeof buffer);
                if (got <= 0) break;
                terminal.append(buffer, static_cast<size_t>(got));
            }
            close(master);
            out = readText(outPath);
            fs::remove(outPath);
            return terminal;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    close(master);
    out = readText(outPath);
    fs::remove(outPath);
    return terminal;
}

}  // namespace

TEST(ProgressLineTest, ShownAndClearedOnATerminalOnly) {
    TempDir dir;
    SequencePlan plan;
    writeSequence(dir / "seq", plan);
    fs::create_directories(dir / "tty");
    fs::create_directories(dir / "plain");
    std::string out;
    int exitCode = -1;
    const std::string terminal =
        runOnTerminal(dir / "tty", {(dir / "seq").string()}, out, exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_NE(terminal.find("calibration: frame 3 of 3, "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("online: frame 8 of 8, "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find(" left"), std::string::npos);
    const std::string erase = "\r\033[K";
    ASSERT_GE(terminal.size(), erase.size());
    EXPECT_EQ(terminal.substr(terminal.size() - erase.size()), erase);

    // Standard output and the masks are those of a run without a terminal.
    const ProgramRun plain = runProgram(dir / "plain", {(dir / "seq").string()});
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(out, plain.out);
    EXPECT_EQ(listFiles(dir / "tty"), listFiles(dir / "plain"));
    for (const std::string& name : listFiles(dir / "plain")) {
        EXPECT_EQ(readText(dir / "tty" / name), readText(dir / "plain" / name)) << name;
    }
}
