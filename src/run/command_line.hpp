#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run_parameters.hpp"

namespace dadimero {

// The argument list as main received it; entry 0 is the program name. Every
// getter removes the option it reads, and its value, from the list.
using ArgumentList = std::vector<std::string>;

// An option as the program took it: its name and its value as given.
struct TakenOption {
    std::string name;
    std::string value;

    bool operator==(const TakenOption&) const = default;
};
using TakenOptions = std::vector<TakenOption>;

// Returns the value of option `name` (leftmost occurrence; entry 0 is never
// examined), or `fallback` when it is absent. Throws FatalError (exit 2) when
// the option is the last entry. An option found is added to `taken`, if given.
std::optional<std::string> extractOption(ArgumentList& args, const std::string& name,
                                         std::optional<std::string> fallback,
                                         TakenOptions* taken = nullptr);

// strtol in base 0; the whole value must convert. Out-of-range values clamp.
int32_t getIntOption(ArgumentList& args, const std::string& name, int32_t fallback,
                     TakenOptions* taken = nullptr);

// strtod; the whole value must convert. The caller rounds to float.
double getFloatOption(ArgumentList& args, const std::string& name, double fallback,
                      TakenOptions* taken = nullptr);

std::string getStringOption(ArgumentList& args, const std::string& name,
                            const std::string& fallback, TakenOptions* taken = nullptr);

// Parses every option in the fixed order of the program; throws FatalError
// (exit 2) at the first option without a usable value. `taken`, if given,
// receives the options found, in that order: a record of the run's options
// that neither argument order, repeats nor unknown options change.
RunParameters parseRunParameters(ArgumentList& args, TakenOptions* taken = nullptr);

// The usage text, as printed when the program runs without arguments.
std::string usageText();

// "DADI-MERO <version>\n", for --version.
std::string versionText();

}  // namespace dadimero
