#pragma once

#include <string>

namespace dadimero {

// Every output file is written under a temporary name beside its final one and
// renamed once complete. The name carries the process that writes it and its
// host, ".NAME.PID@HOST.dadimero.tmp", so that runs sharing a directory, on
// one machine or on several over a shared file system, never write, rename or
// remove each other's files. One process writes a file from one thread at a
// time, as every program here does.

// The temporary name of `path` for this process, in the same directory.
std::string temporaryNameFor(const std::string& path);

// Removes the temporary files in `directory` that killed processes of this
// host left: those whose process is no longer running. Files of another host,
// of a running process (or one that took the pid of a dead writer), or in no
// form this program writes are kept. Errors are ignored.
void removeStaleTemporaryFiles(const std::string& directory);

}  // namespace dadimero
