#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "dadimero/dadimero.hpp"

namespace dadimero {

// The buffers and numbers of a running model, each by a name: a state file
// writes them or reads them back (see Subtractor::Impl::listState, the one
// place that lists them). rows x cols is the shape a buffer has in the file.
class StateFields {
  public:
    virtual ~StateFields() = default;
    virtual void floats(const char* name, std::vector<float>& values, int rows, int cols) = 0;
    virtual void bytes(const char* name, std::vector<uint8_t>& values, int rows, int cols) = 0;
    virtual void ints(const char* name, std::vector<int>& values, int rows, int cols) = 0;
    virtual void integer(const char* name, int64_t& value) = 0;
    virtual void real(const char* name, float& value) = 0;
};

// What a state file holds besides the model's buffers.
struct StateHeader {
    Settings settings;
    cv::Mat roi;               // empty: every pixel
    cv::Mat colourBackground;  // what clear() returns to; empty: the first frame
    cv::Mat depthBackground;
    bool hasModel = false;  // false: the subtractor waits for its first frame
    int width = 0;          // of the model
    int height = 0;
    bool usesDepth = false;
};

// Writes the header, then the fields that `listFields` gives (when the header
// has a model), with a version and a checksum. Throws cv::Exception naming
// the file when it cannot be written.
void writeStateFile(const std::string& filename, const StateHeader& header,
                    const std::function<void(StateFields&)>& listFields);

// Reads a state file in two steps: the header, then the fields into buffers
// already sized for that header. Throws cv::Exception naming the file when it
// cannot be opened, or is damaged, truncated or of another version.
class StateFileReader {
  public:
    explicit StateFileReader(const std::string& filename);
    ~StateFileReader();
    StateFileReader(const StateFileReader&) = delete;
    StateFileReader& operator=(const StateFileReader&) = delete;

    const StateHeader& header() const;
    void readFields(const std::function<void(StateFields&)>& listFields);

  private:
    struct File;
    std::unique_ptr<File> file_;
};

// The settings as FileStorage keys, and back: readSettings takes the keys it
// finds over `settings` and throws (StsParseError) for a key of the wrong type.
void writeSettings(cv::FileStorage& fs, const Settings& settings);
Settings readSettings(const cv::FileNode& node, Settings settings);

}  // namespace dadimero
