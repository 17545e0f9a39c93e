// The Subtractor's files: its state and its settings, opened by the one
// opener of files (files/file_access), read and written by the library through
// the stream or the cv::FileStorage it is handed.
#include <istream>
#include <ostream>

#include "dadimero/dadimero.hpp"
#include "file_access.hpp"
#include "subtractor/public_errors.hpp"
#include "subtractor/settings_storage.hpp"

namespace dadimero {

namespace {

constexpr int64_t kSettingsFileLimit = int64_t{1} << 20;

// Runs body(); a FileFailure on the way becomes the library's error (StsError).
template <typename Body>
void withFileErrors(Body&& body) {
    try {
        body();
    } catch (const FileFailure& failure) {
        fail(cv::Error::StsError, failure.what());
    }
}

// The cv::FileStorage format for a file name: XML or JSON by the extension,
// else YAML.
int formatFor(const std::string& filename) {
    const auto endsWith = [&](const char* suffix) {
        const std::string s(suffix);
        return filename.size() >= s.size() &&
               filename.compare(filename.size() - s.size(), s.size(), s) == 0;
    };
    if (endsWith(".xml") || endsWith(".XML")) return cv::FileStorage::FORMAT_XML;
    if (endsWith(".json") || endsWith(".JSON")) return cv::FileStorage::FORMAT_JSON;
    return cv::FileStorage::FORMAT_YAML;
}

}  // namespace

void Subtractor::saveState(const cv::String& filename) const {
    asPublic("dadimero::Subtractor::saveState", [&] {
        withFileErrors([&] {
            ReplacingFile file(filename, "the state file");
            std::ostream out(&file.buffer());
            try {
                saveStateTo(out, shownPath(filename));
            } catch (const cv::Exception&) {
                file.throwIfFailed();  // the disk's reason rather than the stream's
                throw;
            }
            file.commit();
        });
    });
}

void Subtractor::loadState(const cv::String& filename) {
    asPublic("dadimero::Subtractor::loadState", [&] {
        withFileErrors([&] {
            InputFile file(filename, "the state file");
            std::istream in(&file.buffer());
            try {
                loadStateFrom(in, file.size(), true, shownPath(filename));
            } catch (const cv::Exception&) {
                file.throwIfFailed();
                throw;
            }
        });
    });
}

void Subtractor::saveSettings(const cv::String& filename) const {
    asPublic("dadimero::Subtractor::saveSettings", [&] {
        withFileErrors([&] {
            cv::FileStorage fs(
                ".yml", cv::FileStorage::WRITE | cv::FileStorage::MEMORY | formatFor(filename));
            fs << getDefaultName() << "{";
            writeSettings(fs, currentSettings());
            fs << "}";
            const std::string text = fs.releaseAndGetString();
            ReplacingFile file(filename, "the settings file");
            std::ostream out(&file.buffer());
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            out.flush();
            file.throwIfFailed();
            file.commit();
        });
    });
}

void Subtractor::loadSettings(const cv::String& filename) {
    asPublic("dadimero::Subtractor::loadSettings", [&] {
        withFileErrors([&] {
            InputFile file(filename, "the settings file");
            const std::string text = file.readAll(kSettingsFileLimit);
            // Settings are plain numbers; OpenCV's reader of binary data can
            // loop for ever on damaged data.
            if (text.find("!!binary") != std::string::npos ||
                text.find("base64") != std::string::npos) {
                fail(cv::Error::StsParseError,
                     shownPath(filename) + " is not a settings file: it holds binary data");
            }
            cv::FileStorage fs;
            try {
                fs.open(text, cv::FileStorage::READ | cv::FileStorage::MEMORY);
            } catch (const cv::Exception&) {
                fail(cv::Error::StsParseError, shownPath(filename) + " is not a settings file");
            }
            if (!fs.isOpened()) {
                fail(cv::Error::StsParseError, shownPath(filename) + " is not a settings file");
            }
            const cv::FileNode named = fs[getDefaultName()];
            changeSettings(
                readSettings(named.empty() ? fs.getFirstTopLevelNode() : named, currentSettings()));
        });
    });
}

}  // namespace dadimero
