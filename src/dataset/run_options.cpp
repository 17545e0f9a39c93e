#include "run_options.hpp"

namespace dadimero {

RunParameters readRunOptions(const std::vector<std::string>& options, TakenOptions* taken) {
    // The sequence comes first; an absolute path can never be an option's name.
    ArgumentList args = {"DADI-MERO", "/"};
    args.insert(args.end(), options.begin(), options.end());
    return parseRunParameters(args, taken);
}

std::string optionsRecord(const std::vector<std::string>& options) {
    TakenOptions taken;
    readRunOptions(options, &taken);
    std::string record;
    for (const TakenOption& option : taken) {
        if (option.name != "-threads") record += option.name + "\n" + option.value + "\n";
    }
    return record;
}

}  // namespace dadimero
