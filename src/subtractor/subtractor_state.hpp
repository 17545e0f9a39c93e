#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "dadimero/dadimero.hpp"
#include "model/model_grid.hpp"

namespace dadimero {

// The buffers and numbers of a running model, each by a name: a state writes
// them or reads them back (see listModelState, the one place that lists them). A buffer's length is
// the model's; the reader checks it against the state's header.
class StateFields {
  public:
    virtual ~StateFields() = default;
    virtual void floats(const char* name, std::vector<float>& values) = 0;
    virtual void bytes(const char* name, std::vector<uint8_t>& values) = 0;
    virtual void integer(const char* name, int64_t& value) = 0;
    virtual void real(const char* name, float& value) = 0;
};

// What a state holds besides the model's buffers.
struct StateHeader {
    Settings settings;         // the thread count is not part of a state
    cv::Mat roi;               // empty: every pixel
    cv::Mat colourBackground;  // what clear() returns to; empty: the first frame
    cv::Mat depthBackground;
    bool hasModel = false;  // false: the subtractor waits for its first frame
    int width = 0;          // of the model
    int height = 0;
    bool usesDepth = false;
    uint64_t fieldBytes = 0;  // the model's buffers as the state stores them
};

// Writes a state: a header, the images, then the fields `listFields` gives
// (when the header has a model), each with a checksum. Throws cv::Exception
// (StsError) naming the state by `name` when the stream fails.
void writeState(std::ostream& out, const StateHeader& header,
                const std::function<void(StateFields&)>& listFields, const std::string& name);

// Reads a state in two steps: the header, which is checked against itself,
// against the settings' rules and against `length` (the bytes left in the
// stream, -1 when unknown; with `exactLength`, the state must fill them all)
// before anything is allocated, and then the images; then the fields into
// buffers already sized for that header. Throws cv::Exception naming the
// state by `name` when it is damaged, truncated, of another version or no
// state at all.
class StateReader {
  public:
    // `fieldBytes(header)`: the bytes the fields of a model of that header
    // take in a state, for the check against the stream's length.
    StateReader(std::istream& in, int64_t length, bool exactLength, const std::string& name,
                const std::function<uint64_t(const StateHeader&)>& fieldBytes);
    const StateHeader& header() const { return header_; }
    void readFields(const std::function<void(StateFields&)>& listFields);

  private:
    std::istream& in_;
    std::string name_;
    StateHeader header_;
};

// Lists every buffer and number of `model` a state holds, in the order of the
// state, to `fields`, which writes or reads each one in turn.
void listModelState(FramePipeline& model, StateFields& fields);
// The bytes the fields of a model of `grid`, with or without depth, take in a state.
uint64_t modelStateBytes(const ModelGrid& grid, bool withDepth);

// The bytes a field of `count` elements of `size` bytes takes in a state.
uint64_t stateFieldBytes(uint64_t count, uint64_t size);

// The checksum a state stores after `size` bytes: after each image and field,
// and after its header (the bytes from the start of the state).
uint64_t stateChecksum(const void* data, size_t size);

}  // namespace dadimero
