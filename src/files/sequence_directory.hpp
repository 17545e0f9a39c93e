#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "temporal_range.hpp"

namespace dadimero {

// The files of one sequence directory, for everything that reads one: the
// command line, the tools, the benchmark and the dataset program. File names
// come from files/sequence_layout.hpp.
class SequenceDirectory {
  public:
    // Paths joined as std::filesystem joins them: "seq/input/in000001.png".
    explicit SequenceDirectory(const std::filesystem::path& root);

    // Paths as the command line has always named them in its messages: the
    // argument, "/", the file's name, and one more "/" before a frame's folder
    // ("seq/temporalROI.txt", "seq//input/in000001.png").
    static SequenceDirectory namedAsTheCommandLine(const std::string& argument);

    std::filesystem::path temporalRange() const;
    std::filesystem::path regionOfInterest() const;
    // The colour background under `name` (the command line's -nameCE).
    std::filesystem::path background(const std::string& name) const;
    std::filesystem::path background() const;
    std::filesystem::path colourFrame(int64_t frame) const;  // input/in%06d.png
    std::filesystem::path colourFrameJpeg(int64_t frame) const;
    // The colour frame to read: its PNG or, only where no PNG exists, its JPEG
    // (the change-detection benchmarks' own layout). Any other failure to
    // reach the PNG leaves the PNG, so that the error names it.
    std::filesystem::path colourFrameToRead(int64_t frame) const;
    std::filesystem::path depthFrame(int64_t frame) const;
    std::filesystem::path groundTruthFolder() const;
    std::filesystem::path groundTruth(int64_t frame) const;

    // The temporal range file as it is: read, missing or unreadable. A missing
    // file is no error for the command line, which then takes its defaults.
    TemporalRangeStatus readTemporalRange(TemporalRange& range) const;
    // For everything that needs the range: throws std::runtime_error naming the
    // file when it is missing or does not hold two frame numbers.
    TemporalRange requireTemporalRange() const;

  private:
    SequenceDirectory(std::string prefix, std::string framePrefix);
    std::string prefix_;       // ends with "/" unless empty
    std::string framePrefix_;  // prefix_, or prefix_ and one more "/"
};

// The mask of `frame` in a folder of masks: bin%06d.png.
std::filesystem::path maskPath(const std::filesystem::path& directory, int64_t frame);

}  // namespace dadimero
