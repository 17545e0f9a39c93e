#pragma once

#include <filesystem>
#include <string>

namespace dadimero {

// A fingerprint of what a run reads from a sequence directory: the name, size
// and modification time of every file directly in it (the temporal range, the
// region of interest, the backgrounds) and in its input/ and depth/ folders.
// Replaced, added, removed or touched frames change it, so a run over inputs
// that changed since is no longer complete; the ground truth is not an input
// and is left out. Links are followed. Two lines of text:
//   "files N\ndigest 0123456789abcdef\n"
std::string inputFingerprint(const std::filesystem::path& sequence);

}  // namespace dadimero
