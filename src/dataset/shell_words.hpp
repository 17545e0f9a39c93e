#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dadimero {

// Splits `text` into words as a POSIX shell splits a command without
// expanding anything: blanks separate words; inside single quotes every
// character stands for itself; inside double quotes a backslash escapes only
// $ ` " \ and a newline; elsewhere a backslash escapes the next character.
// Used for --sbatch "ARGS" and the lines of a settings file. Throws
// std::runtime_error for an unterminated quote or a trailing backslash.
std::vector<std::string> splitShellWords(std::string_view text);

// `word` quoted for a POSIX shell, so that the shell reads it back unchanged.
std::string shellQuoted(std::string_view word);

}  // namespace dadimero
