#include "output_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "sequence_discovery.hpp"

namespace dadimero {

namespace fs = std::filesystem;

std::string thisCommandLine() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string command;
    for (const char c : raw)
        command += c == '\0' ? ' ' : c;
    while (!command.empty() && command.back() == ' ')
        command.pop_back();
    return displayPath(command);
}

OutputLock::OutputLock(const fs::path& outputRoot, Mode mode) {
    const fs::path folder = outputRoot / ".dadimero";
    std::error_code error;
    fs::create_directories(folder, error);
    const fs::path path = folder / "lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        throw std::runtime_error("cannot open " + displayPath(path) + ": " + std::strerror(errno));
    }
    int locked;
    while ((locked = flock(fd_, mode == Wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 &&
           errno == EINTR) {
    }
    if (locked != 0 && errno == EWOULDBLOCK) {
        char holder[1024] = {};
        const ssize_t got = pread(fd_, holder, sizeof holder - 1, 0);
        std::string who = got > 0 ? std::string(holder, static_cast<size_t>(got)) : "";
        while (!who.empty() && (who.back() == '\n' || who.back() == ' '))
            who.pop_back();
        close(fd_);
        fd_ = -1;
        throw std::runtime_error(displayPath(outputRoot) + " is in use by another start of " +
                                 "dadimero-dataset" + (who.empty() ? "" : " (" + who + ")") +
                                 "; wait for it to end, or stop it, then start again");
    }
    if (locked != 0) {
        // A file system without locks: go on, as nothing can be checked.
        std::fprintf(stderr,
                     "dadimero-dataset: cannot lock %s (%s); make sure no other start uses this "
                     "output folder\n",
                     displayPath(path).c_str(), std::strerror(errno));
        return;
    }
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    char since[64] = {};
    const std::time_t now = std::time(nullptr);
    std::strftime(since, sizeof since, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    const std::string who = "process " + std::to_string(getpid()) + " on " + host + " since " +
                            since + ": " + thisCommandLine() + "\n";
    if (ftruncate(fd_, 0) == 0 && pwrite(fd_, who.data(), who.size(), 0) < 0) {
        // Only a description for others; the lock itself holds.
    }
}

OutputLock::~OutputLock() {
    release();
}

void OutputLock::release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

}  // namespace dadimero
