#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace dadimero {

// The record of one run of DADI-MERO, kept in its output folder beside its
// masks. Every engine writes and reads the same files, so that one engine can
// take over another's work:
//   DADI-MERO.options  the options that can change a mask, a name and a value
//                      a line, in the order the program reads them (written
//                      before the run starts)
//   DADI-MERO.inputs   a fingerprint of the sequence's files (written before
//                      the run starts)
//   DADI-MERO.log      the program's standard output and error
//   DADI-MERO.status   its exit code, written once it has ended
inline constexpr const char* kOptionsRecord = "DADI-MERO.options";
inline constexpr const char* kInputsRecord = "DADI-MERO.inputs";
inline constexpr const char* kRunLog = "DADI-MERO.log";
inline constexpr const char* kStatusRecord = "DADI-MERO.status";

// The whole content of a record file, or nothing when it cannot be read.
std::optional<std::string> readRecord(const std::filesystem::path& folder, const char* name);

// The last line of a text file that holds more than blanks, without its line
// end; empty when there is none or the file cannot be read.
std::string lastLineOf(const std::filesystem::path& file);

// Writes a record file whole or not at all. Throws std::runtime_error naming
// the file and the reason (a full disk, a read-only folder).
void writeRecord(const std::filesystem::path& folder, const char* name, const std::string& text);

// Removes what an earlier run left in the folder (its record, masks and
// snapshots), so that nothing of an unfinished or different run can pass for
// the next one. Throws std::runtime_error naming what cannot be removed.
void clearRunFolder(const std::filesystem::path& folder);

}  // namespace dadimero
