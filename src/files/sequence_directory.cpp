#include "sequence_directory.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <stdexcept>

#include "sequence_layout.hpp"

namespace dadimero {

namespace {

std::string directoryPrefix(std::string root) {
    if (!root.empty() && root.back() != '/') root += '/';
    return root;
}

}  // namespace

SequenceDirectory::SequenceDirectory(std::string prefix, std::string framePrefix)
    : prefix_(std::move(prefix)), framePrefix_(std::move(framePrefix)) {}

SequenceDirectory::SequenceDirectory(const std::filesystem::path& root)
    : SequenceDirectory(directoryPrefix(root.string()), directoryPrefix(root.string())) {}

SequenceDirectory SequenceDirectory::namedAsTheCommandLine(const std::string& argument) {
    return SequenceDirectory(argument + "/", argument + "//");
}

std::filesystem::path SequenceDirectory::temporalRange() const {
    return prefix_ + kTemporalRangeName;
}

std::filesystem::path SequenceDirectory::regionOfInterest() const {
    return prefix_ + kRegionOfInterestName;
}

std::filesystem::path SequenceDirectory::background(const std::string& name) const {
    return prefix_ + name;
}

std::filesystem::path SequenceDirectory::background() const {
    return background(kColourBackgroundName);
}

std::filesystem::path SequenceDirectory::colourFrame(int64_t frame) const {
    return framePrefix_ + colourFrameName(frame);
}

std::filesystem::path SequenceDirectory::colourFrameJpeg(int64_t frame) const {
    return framePrefix_ + colourFrameJpegName(frame);
}

std::filesystem::path SequenceDirectory::colourFrameToRead(int64_t frame) const {
    std::filesystem::path png = colourFrame(frame);
    struct stat status {};
    if (stat(png.c_str(), &status) == 0 || errno != ENOENT) return png;
    std::filesystem::path jpeg = colourFrameJpeg(frame);
    return stat(jpeg.c_str(), &status) == 0 ? jpeg : png;
}

std::filesystem::path SequenceDirectory::depthFrame(int64_t frame) const {
    return framePrefix_ + depthFrameName(frame);
}

std::filesystem::path SequenceDirectory::groundTruthFolder() const {
    return prefix_ + kGroundTruthDirectory;
}

std::filesystem::path SequenceDirectory::groundTruth(int64_t frame) const {
    return prefix_ + groundTruthName(frame);
}

TemporalRangeStatus SequenceDirectory::readTemporalRange(TemporalRange& range) const {
    return dadimero::readTemporalRange(temporalRange().string(), range);
}

TemporalRange SequenceDirectory::requireTemporalRange() const {
    TemporalRange range;
    switch (readTemporalRange(range)) {
        case TemporalRangeStatus::Missing:
            throw std::runtime_error("cannot read " + temporalRange().string());
        case TemporalRangeStatus::Unreadable:
            throw std::runtime_error(temporalRange().string() +
                                     " does not hold two frame numbers \"from to\"");
        case TemporalRangeStatus::Read:
            break;
    }
    return range;
}

std::filesystem::path maskPath(const std::filesystem::path& directory, int64_t frame) {
    return directory / maskName(frame);
}

}  // namespace dadimero
