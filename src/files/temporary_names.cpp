#include "temporary_names.hpp"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

namespace dadimero {

namespace {

constexpr std::string_view kSuffix = ".dadimero.tmp";

// This host's name as it appears in temporary names: letters, digits, '-',
// '.' and '_', anything else replaced by '_'.
std::string hostMark() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "localhost";
    std::string mark;
    for (const char* c = host; *c != '\0'; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                           (*c >= '0' && *c <= '9') || *c == '-' || *c == '.' || *c == '_';
        mark += plain ? *c : '_';
    }
    return mark;
}

// Whether process `pid` of this host runs (a process of another user too).
bool running(pid_t pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

// The process of this host that wrote temporary file `name`, or 0 for a file
// of another host or a name of another form.
pid_t writerOnThisHost(std::string_view name, std::string_view host) {
    if (name.size() <= kSuffix.size() + 1 || name.front() != '.' || !name.ends_with(kSuffix)) {
        return 0;
    }
    name = name.substr(1, name.size() - 1 - kSuffix.size());  // NAME.PID@HOST
    const size_t at = name.rfind('@');
    if (at == std::string_view::npos || name.substr(at + 1) != host) return 0;
    const size_t dot = name.rfind('.', at);
    if (dot == std::string_view::npos) return 0;
    const std::string_view digits = name.substr(dot + 1, at - dot - 1);
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) return 0;
    return pid;
}

}  // namespace

std::string temporaryNameFor(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + "." +
           std::to_string(getpid()) + "@" + hostMark() + std::string(kSuffix);
}

void removeStaleTemporaryFiles(const std::string& directory) {
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) return;
    const std::string host = hostMark();
    while (const dirent* entry = readdir(listing)) {
        const pid_t writer = writerOnThisHost(entry->d_name, host);
        if (writer != 0 && !running(writer)) unlinkat(dirfd(listing), entry->d_name, 0);
    }
    closedir(listing);
}

}  // namespace dadimero
