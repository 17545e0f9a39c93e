#include "shell_words.hpp"

#include <stdexcept>

namespace dadimero {

std::vector<std::string> splitShellWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const size_t close = text.find('\'', i + 1);
            if (close == std::string_view::npos) throw std::runtime_error("unterminated ' quote");
            word.append(text.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) throw std::runtime_error("unterminated \" quote");
                if (text[i] == '"') break;
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::string_view("$`\"\\\n").find(text[i + 1]) != std::string_view::npos) {
                    ++i;
                    if (text[i] == '\n') continue;
                }
                word += text[i];
            }
        } else if (c == '\\') {
            if (i + 1 >= text.size()) throw std::runtime_error("a backslash ends the text");
            ++i;
            if (text[i] != '\n') word += text[i];
        } else {
            word += c;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::string shellQuoted(std::string_view word) {
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace dadimero
