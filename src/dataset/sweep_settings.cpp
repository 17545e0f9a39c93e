#include "sweep_settings.hpp"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "fatal_error.hpp"

#include "run_options.hpp"
#include "shell_words.hpp"

namespace dadimero {

namespace {

std::vector<std::string> splitValues(const std::string& text) {
    std::vector<std::string> values;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        values.push_back(text.substr(start, comma - start));
    values.push_back(text.substr(start));
    return values;
}

std::string withFolder(std::vector<std::string> options, std::vector<Setting>& settings) {
    settings.push_back({settingFolder(options), std::move(options)});
    return settings.back().folder;
}

// The options the program takes from the setting; a FatalError becomes a
// sentence about the setting.
TakenOptions takenOf(const Setting& setting) {
    TakenOptions taken;
    try {
        readRunOptions(setting.options, &taken);
    } catch (const FatalError& error) {
        std::string message = error.message;
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        throw std::runtime_error("setting " + setting.folder + ": " + message);
    }
    return taken;
}

}  // namespace

std::vector<Setting> gridSettings(const std::vector<std::string>& grids) {
    std::vector<std::vector<std::string>> combinations = {{}};
    for (const std::string& grid : grids) {
        const std::vector<std::string> words = splitShellWords(grid);
        if (words.size() != 2 || words[0].size() < 2 || words[0][0] != '-') {
            throw std::runtime_error("--grid needs \"OPTION V1,V2,...\", got \"" + grid + "\"");
        }
        std::vector<std::vector<std::string>> next;
        for (const std::vector<std::string>& before : combinations) {
            for (const std::string& value : splitValues(words[1])) {
                std::vector<std::string> options = before;
                options.insert(options.end(), {words[0], value});
                next.push_back(std::move(options));
            }
        }
        combinations = std::move(next);
    }
    std::vector<Setting> settings;
    for (std::vector<std::string>& options : combinations)
        withFolder(std::move(options), settings);
    return settings;
}

std::vector<Setting> fileSettings(const std::filesystem::path& file) {
    std::ifstream input(file);
    if (!input) throw std::runtime_error("cannot read " + file.string());
    std::vector<Setting> settings;
    std::string line;
    for (int number = 1; std::getline(input, line); ++number) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        try {
            withFolder(splitShellWords(line), settings);
        } catch (const std::runtime_error& error) {
            throw std::runtime_error(file.string() + " line " + std::to_string(number) + ": " +
                                     error.what());
        }
    }
    if (input.bad()) throw std::runtime_error("cannot read " + file.string());
    if (settings.empty()) throw std::runtime_error(file.string() + " holds no setting");
    return settings;
}

std::string settingFolder(const std::vector<std::string>& options) {
    std::string name;
    bool changed = false;
    for (size_t i = 0; i < options.size(); ++i) {
        std::string word = options[i];
        if (i % 2 == 0) {
            if (!name.empty()) name += ',';
            if (!word.empty() && word[0] == '-') word.erase(0, 1);
        } else {
            name += '=';
        }
        for (const char c : word) {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' ||
                               c == '_';
            name += plain ? c : '_';
            changed |= !plain;
        }
    }
    if (options.empty()) return "defaults";
    if (!changed && name.size() <= 100 && name[0] != '.' && name[0] != '-') return name;
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const std::string& option : options) {
        for (const char c : option + '\0') {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3ULL;
        }
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "~%08" PRIx64, static_cast<uint64_t>(hash & 0xffffffffU));
    if (name[0] == '.' || name[0] == '-') name[0] = '_';
    return name.substr(0, 80) + suffix;
}

void checkSettings(const std::vector<Setting>& settings,
                   const std::vector<std::string>& fixedOptions) {
    std::set<std::string> fixedNames;
    for (const TakenOption& option : takenOf(Setting{"with the options after --", fixedOptions}))
        fixedNames.insert(option.name);
    std::map<std::string, std::string> seen;  // options record -> folder
    std::set<std::string> folders;
    for (const Setting& setting : settings) {
        const TakenOptions taken = takenOf(setting);
        std::vector<std::string> unread = setting.options;
        for (const TakenOption& option : taken) {
            for (size_t i = 0; i + 1 < unread.size(); ++i) {
                if (unread[i] != option.name || unread[i + 1] != option.value) continue;
                unread.erase(unread.begin() + static_cast<std::ptrdiff_t>(i),
                             unread.begin() + static_cast<std::ptrdiff_t>(i + 2));
                break;
            }
        }
        if (!unread.empty()) {
            throw std::runtime_error("setting " + setting.folder + " holds \"" + unread[0] +
                                     "\", which DADI-MERO does not read (an unknown or "
                                     "repeated option)");
        }
        for (const TakenOption& option : taken) {
            if (option.name == "-threads") {
                throw std::runtime_error("setting " + setting.folder +
                                         " sweeps -threads, which changes no mask");
            }
            if (fixedNames.count(option.name) != 0) {
                throw std::runtime_error("setting " + setting.folder + " sweeps " + option.name +
                                         ", which the options after -- fix too");
            }
        }
        const std::string record = optionsRecord(setting.options);
        if (const auto it = seen.find(record); it != seen.end()) {
            throw std::runtime_error("settings " + it->second + " and " + setting.folder +
                                     " are the same");
        }
        seen[record] = setting.folder;
        if (!folders.insert(setting.folder).second) {
            throw std::runtime_error("two settings would share the folder " + setting.folder);
        }
    }
}

}  // namespace dadimero
