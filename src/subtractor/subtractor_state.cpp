// The state of a Subtractor as bytes, little-endian: "DADI-MERO state\n", the
// version, the length of the header record, the record (the settings, the
// model's shape, the shapes of the images, the length of the fields) and its
// checksum; then each image and each field of the model, raw, followed by its
// checksum. A state is a little larger than its model and is read straight
// into the model's buffers, by this reader alone: every length is known from
// the record, and the record is checked before anything is allocated.
#include "subtractor/subtractor_state.hpp"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <istream>
#include <ostream>
#include <string_view>

#include "subtractor/frame_pipeline.hpp"
#include "subtractor/public_errors.hpp"
#include "subtractor/settings_checks.hpp"

namespace dadimero {

static_assert(std::endian::native == std::endian::little, "states are stored little-endian");

namespace {

constexpr char kMagic[16] = {'D', 'A', 'D', 'I', '-', 'M', 'E', 'R',
                             'O', ' ', 's', 't', 'a', 't', 'e', '\n'};
constexpr uint32_t kVersion = 2;
// The first versions were cv::FileStorage maps under this format name.
constexpr std::string_view kFirstFormatName = "DADI-MERO subtractor state";

// Settings in a state: every one but the thread count, 4 bytes each.
constexpr size_t kStoredSettings = std::size(kSettingFields) - 1;
constexpr uint32_t kRecordBytes = kStoredSettings * 4 + 4 + 2 * 4 + 3 * 3 * 4 + 8;
constexpr uint32_t kHasModel = 1;
constexpr uint32_t kUsesDepth = 2;

bool isStored(const SettingField& setting) {
    return std::string_view(setting.name) != "threads";
}

// A 64-bit checksum over 32-byte blocks in four lanes. Each lane's step is a
// bijection of its word, so damage within one 8-byte word always changes the
// sum; the four lanes keep the multiplier busy, at several GB/s. update() may
// be called in pieces whose lengths are multiples of 32, all but the last.
class StateHash {
  public:
    StateHash() {
        for (int i = 0; i < 4; ++i)
            lane_[i] = kPrime3 * static_cast<uint64_t>(i + 1);
    }
    void update(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        size_t i = 0;
        for (; i + 32 <= size; i += 32) {
            for (int l = 0; l < 4; ++l)
                lane_[l] = step(lane_[l], load(bytes + i + 8 * l));
        }
        for (; i + 8 <= size; i += 8)
            lane_[0] = step(lane_[0], load(bytes + i));
        if (i < size) {
            uint64_t last = 0;
            std::memcpy(&last, bytes + i, size - i);
            lane_[1] = step(lane_[1], last ^ (uint64_t{size - i} << 59));
        }
        length_ += size;
    }
    uint64_t value() const {
        uint64_t h = length_ * kPrime3;
        for (const uint64_t lane : lane_)
            h = (h ^ step(0, lane)) * kPrime1;
        h ^= h >> 33;
        h *= kPrime2;
        return h ^ (h >> 29);
    }

  private:
    static constexpr uint64_t kPrime1 = 0x9E3779B97F4A7C15ULL;
    static constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
    static constexpr uint64_t kPrime3 = 0x165667B19E3779F9ULL;
    static uint64_t load(const uint8_t* p) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        return word;
    }
    static uint64_t step(uint64_t lane, uint64_t word) {
        return std::rotl(lane ^ (word * kPrime2), 31) * kPrime1;
    }
    uint64_t lane_[4];
    uint64_t length_ = 0;
};

// Fields are hashed and written, or read and hashed, a piece at a time, while
// the piece is in cache.
constexpr size_t kPieceBytes = size_t{1} << 20;

[[noreturn]] void failState(const std::string& name, const std::string& what) {
    fail(cv::Error::StsParseError, name + " " + what);
}

// The header record, built and taken apart field by field.
class RecordWriter {
  public:
    template <typename T>
    void put(T value) {
        const auto* p = reinterpret_cast<const uint8_t*>(&value);
        bytes.insert(bytes.end(), p, p + sizeof value);
    }
    std::vector<uint8_t> bytes;
};

class RecordReader {
  public:
    explicit RecordReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    template <typename T>
    T take() {
        T value;
        std::memcpy(&value, bytes_.data() + at_, sizeof value);
        at_ += sizeof value;
        return value;
    }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

void putImageShape(RecordWriter& record, const cv::Mat& image) {
    record.put<int32_t>(image.rows);
    record.put<int32_t>(image.cols);
    record.put<int32_t>(image.empty() ? 0 : image.type());
}

std::vector<uint8_t> recordOf(const StateHeader& h) {
    RecordWriter record;
    for (const SettingField& setting : kSettingFields) {
        if (!isStored(setting)) continue;
        std::visit(
            [&](auto field) {
                const auto value = h.settings.*field;
                if constexpr (std::is_same_v<std::remove_cv_t<decltype(value)>, float>) {
                    record.put<float>(value);
                } else {
                    record.put<int32_t>(static_cast<int32_t>(value));
                }
            },
            setting.field);
    }
    record.put<uint32_t>((h.hasModel ? kHasModel : 0) | (h.usesDepth ? kUsesDepth : 0));
    record.put<int32_t>(h.width);
    record.put<int32_t>(h.height);
    putImageShape(record, h.roi);
    putImageShape(record, h.colourBackground);
    putImageShape(record, h.depthBackground);
    record.put<uint64_t>(h.fieldBytes);
    return record.bytes;
}

// The start of a state up to its header's checksum: the magic, the version,
// the record's length and the record.
std::vector<uint8_t> headerBytes(uint32_t version, const std::vector<uint8_t>& record) {
    RecordWriter header;
    header.bytes.assign(kMagic, kMagic + sizeof kMagic);
    header.put<uint32_t>(version);
    header.put<uint32_t>(static_cast<uint32_t>(record.size()));
    header.bytes.insert(header.bytes.end(), record.begin(), record.end());
    return header.bytes;
}

// Writes every field, each followed by its checksum.
class FieldWriter : public StateFields {
  public:
    FieldWriter(std::ostream& out, const std::string& name) : out_(out), name_(name) {}
    void floats(const char*, std::vector<float>& values) override {
        put(values.data(), values.size() * sizeof(float));
    }
    void bytes(const char*, std::vector<uint8_t>& values) override {
        put(values.data(), values.size());
    }
    void integer(const char*, int64_t& value) override { put(&value, sizeof value); }
    void real(const char*, float& value) override { put(&value, sizeof value); }
    void put(const void* data, size_t size) {
        StateHash hash;
        const auto* bytes = static_cast<const char*>(data);
        for (size_t done = 0; done < size;) {
            const size_t piece = std::min(kPieceBytes, size - done);
            hash.update(bytes + done, piece);
            out_.write(bytes + done, static_cast<std::streamsize>(piece));
            done += piece;
        }
        const uint64_t sum = hash.value();
        out_.write(reinterpret_cast<const char*>(&sum), sizeof sum);
        if (!out_) fail(cv::Error::StsError, "cannot write " + name_);
        written += stateFieldBytes(size, 1);
    }
    uint64_t written = 0;

  private:
    std::ostream& out_;
    const std::string& name_;
};

void putImage(FieldWriter& writer, const cv::Mat& image) {
    if (image.empty()) return;
    const cv::Mat continuous = image.isContinuous() ? image : image.clone();
    writer.put(continuous.data, continuous.total() * continuous.elemSize());
}

// The start of a file that is no state of this version: a state of the first
// format (a cv::FileStorage text, often gzip-compressed), or something else.
[[noreturn]] void refuseStranger(std::istream& in, const char* start, size_t got,
                                 const std::string& name) {
    std::string head(start, got);
    head.resize(got + 65536);
    in.read(head.data() + got, 65536);
    head.resize(got + static_cast<size_t>(in.gcount()));
    std::string text = head;
    if (head.size() >= 2 && static_cast<uint8_t>(head[0]) == 0x1f &&
        static_cast<uint8_t>(head[1]) == 0x8b) {
        // The first 4 KiB of the text, from at most 64 KiB of the file.
        text.assign(4096, '\0');
        z_stream stream{};
        if (inflateInit2(&stream, 16 + MAX_WBITS) == Z_OK) {
            stream.next_in = reinterpret_cast<Bytef*>(head.data());
            stream.avail_in = static_cast<uInt>(head.size());
            stream.next_out = reinterpret_cast<Bytef*>(text.data());
            stream.avail_out = static_cast<uInt>(text.size());
            inflate(&stream, Z_SYNC_FLUSH);
            text.resize(text.size() - stream.avail_out);
            inflateEnd(&stream);
        }
    }
    if (text.substr(0, 4096).find(kFirstFormatName) != std::string::npos) {
        failState(name, "is a state of version 1; this library reads version " +
                            std::to_string(kVersion) + " only");
    }
    failState(name, "is not a DADI-MERO state");
}

std::string imageShapeText(int rows, int cols) {
    return std::to_string(cols) + "x" + std::to_string(rows);
}

// Reads every field into its buffer, checking its length against what is
// left of the stream and its bytes against its checksum.
class FieldReader : public StateFields {
  public:
    FieldReader(std::istream& in, const std::string& name) : in_(in), name_(name) {}
    void floats(const char* field, std::vector<float>& values) override {
        get(field, values.data(), values.size() * sizeof(float));
    }
    void bytes(const char* field, std::vector<uint8_t>& values) override {
        get(field, values.data(), values.size());
    }
    void integer(const char* field, int64_t& value) override { get(field, &value, sizeof value); }
    void real(const char* field, float& value) override { get(field, &value, sizeof value); }
    void get(const char* field, void* data, size_t size) {
        StateHash hash;
        auto* bytes = static_cast<char*>(data);
        for (size_t done = 0; done < size;) {
            const size_t piece = std::min(kPieceBytes, size - done);
            in_.read(bytes + done, static_cast<std::streamsize>(piece));
            if (static_cast<size_t>(in_.gcount()) != piece) truncated(field);
            hash.update(bytes + done, piece);
            done += piece;
        }
        uint64_t stored = 0;
        in_.read(reinterpret_cast<char*>(&stored), sizeof stored);
        if (in_.gcount() != sizeof stored) truncated(field);
        if (stored != hash.value()) {
            failState(name_,
                      std::string("is damaged: its ") + field + " does not match its checksum");
        }
    }

  private:
    [[noreturn]] void truncated(const char* field) {
        failState(name_, std::string("is truncated: it ends in its ") + field);
    }
    std::istream& in_;
    const std::string& name_;
};

cv::Mat readImage(FieldReader& reader, const char* field, int rows, int cols, int type) {
    if (rows == 0) return cv::Mat();
    cv::Mat image(rows, cols, type);
    reader.get(field, image.data, image.total() * image.elemSize());
    return image;
}

}  // namespace

uint64_t stateChecksum(const void* data, size_t size) {
    StateHash hash;
    hash.update(data, size);
    return hash.value();
}

uint64_t stateFieldBytes(uint64_t count, uint64_t size) {
    return count * size + sizeof(uint64_t);
}

void writeState(std::ostream& out, const StateHeader& header,
                const std::function<void(StateFields&)>& listFields, const std::string& name) {
    const std::vector<uint8_t> bytes = headerBytes(kVersion, recordOf(header));
    const uint64_t sum = stateChecksum(bytes.data(), bytes.size());
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.write(reinterpret_cast<const char*>(&sum), sizeof sum);
    if (!out) fail(cv::Error::StsError, "cannot write " + name);
    FieldWriter writer(out, name);
    putImage(writer, header.roi);
    putImage(writer, header.colourBackground);
    putImage(writer, header.depthBackground);
    if (header.hasModel) {
        writer.written = 0;
        listFields(writer);
        // The reader sizes the model's fields by the header: they must agree.
        if (writer.written != header.fieldBytes) {
            fail(cv::Error::StsError, "cannot write " + name + ": its fields are " +
                                          std::to_string(writer.written) + " bytes, not " +
                                          std::to_string(header.fieldBytes));
        }
    }
    out.flush();
    if (!out) fail(cv::Error::StsError, "cannot write " + name);
}

StateReader::StateReader(std::istream& in, int64_t length, bool exactLength,
                         const std::string& name,
                         const std::function<uint64_t(const StateHeader&)>& fieldBytes)
    : in_(in), name_(name) {
    char magic[sizeof kMagic];
    in.read(magic, sizeof magic);
    const auto got = static_cast<size_t>(in.gcount());
    if (got == 0) failState(name, "is empty");
    if (got < sizeof magic || std::memcmp(magic, kMagic, sizeof magic) != 0) {
        in.clear();
        refuseStranger(in, magic, got, name);
    }
    uint32_t lengths[2] = {};
    in.read(reinterpret_cast<char*>(lengths), sizeof lengths);
    if (in.gcount() != sizeof lengths) failState(name, "is truncated: it ends in its header");
    if (lengths[0] != kVersion) {
        failState(name, "is a state of version " + std::to_string(lengths[0]) +
                            "; this library reads version " + std::to_string(kVersion) + " only");
    }
    if (lengths[1] != kRecordBytes) failState(name, "is damaged: its header has the wrong length");
    std::vector<uint8_t> record(kRecordBytes);
    uint64_t stored = 0;
    in.read(reinterpret_cast<char*>(record.data()), kRecordBytes);
    in.read(reinterpret_cast<char*>(&stored), sizeof stored);
    if (!in) failState(name, "is truncated: it ends in its header");
    const std::vector<uint8_t> bytes = headerBytes(kVersion, record);
    if (stored != stateChecksum(bytes.data(), bytes.size())) {
        failState(name, "is damaged: its header does not match its checksum");
    }

    // The record, checked field by field against its own rules.
    StateHeader& h = header_;
    RecordReader take(record);
    for (const SettingField& setting : kSettingFields) {
        if (!isStored(setting)) continue;
        std::visit(
            [&](auto field) {
                auto& value = h.settings.*field;
                using Value = std::remove_reference_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, float>) {
                    value = take.template take<float>();
                } else {
                    value = static_cast<Value>(take.template take<int32_t>());
                }
            },
            setting.field);
    }
    const auto flags = take.take<uint32_t>();
    h.hasModel = (flags & kHasModel) != 0;
    h.usesDepth = (flags & kUsesDepth) != 0;
    h.width = take.take<int32_t>();
    h.height = take.take<int32_t>();
    int32_t shapes[3][3];
    for (auto& shape : shapes)
        for (int32_t& value : shape)
            value = take.take<int32_t>();
    h.fieldBytes = take.take<uint64_t>();
    try {
        checkSettings(h.settings);
    } catch (const cv::Exception& refused) {
        failState(name, "is damaged: " + refused.err);
    }
    if ((flags & ~(kHasModel | kUsesDepth)) != 0 || (h.usesDepth && !h.hasModel)) {
        failState(name, "is damaged: its header has unknown flags");
    }
    // One frame size for the model and every image; each image empty or of its type.
    int rows = h.hasModel ? h.height : shapes[0][0];
    int cols = h.hasModel ? h.width : shapes[0][1];
    if (rows <= 0 || cols <= 0 || int64_t{rows} * cols > INT_MAX) {
        if (h.hasModel || rows != 0 || cols != 0) {
            failState(name, "is damaged: its frame size " + imageShapeText(rows, cols) +
                                " is impossible");
        }
    }
    const int types[3][2] = {{CV_8UC1, CV_8UC1}, {CV_8UC3, CV_8UC3}, {CV_8UC1, CV_16UC1}};
    const char* names[3] = {"region of interest", "colour background", "depth background"};
    for (int i = 0; i < 3; ++i) {
        const int32_t* shape = shapes[i];
        if (shape[0] == 0 && shape[1] == 0 && shape[2] == 0) continue;
        if (shape[0] != rows || shape[1] != cols) {
            failState(name, std::string("is damaged: its ") + names[i] + " is " +
                                imageShapeText(shape[0], shape[1]) + ", its frames " +
                                imageShapeText(rows, cols));
        }
        if (shape[2] != types[i][0] && shape[2] != types[i][1]) {
            failState(name, std::string("is damaged: its ") + names[i] + " has the wrong type");
        }
    }
    const bool withBackground = shapes[1][0] != 0;
    const bool withDepthBackground = shapes[2][0] != 0;
    if ((withBackground && !h.hasModel) || (withDepthBackground && !h.usesDepth) ||
        (withDepthBackground && !withBackground)) {
        failState(name, "is damaged: its backgrounds do not fit its model");
    }
    const uint64_t expectedFields = h.hasModel ? fieldBytes(h) : 0;
    if (h.fieldBytes != expectedFields) {
        failState(name, "is damaged: its model's length does not fit its frame size");
    }
    uint64_t total = sizeof kMagic + sizeof lengths + kRecordBytes + sizeof stored + h.fieldBytes;
    for (const int32_t* shape : shapes) {
        if (shape[0] == 0) continue;
        total += stateFieldBytes(uint64_t(shape[0]) * shape[1], CV_ELEM_SIZE(shape[2]));
    }
    if (length >= 0 && total > static_cast<uint64_t>(length)) {
        failState(name, "is truncated: it has " + std::to_string(length) +
                            " bytes, its header declares " + std::to_string(total));
    }
    if (exactLength && total < static_cast<uint64_t>(length)) {
        failState(name, "is damaged: it has " + std::to_string(length) +
                            " bytes, its header declares " + std::to_string(total));
    }

    // Only now, with every length known to fit, anything is allocated.
    FieldReader reader(in, name);
    h.roi = readImage(reader, "region of interest", shapes[0][0], shapes[0][1], shapes[0][2]);
    h.colourBackground =
        readImage(reader, "colour background", shapes[1][0], shapes[1][1], shapes[1][2]);
    h.depthBackground =
        readImage(reader, "depth background", shapes[2][0], shapes[2][1], shapes[2][2]);
}

void StateReader::readFields(const std::function<void(StateFields&)>& listFields) {
    FieldReader reader(in_, name_);
    listFields(reader);
}

// Everything the next frame reads that earlier frames left, for a state: the
// models, the labels (outside the region of interest they are never
// rewritten, and fusion reads them there), the masks the filter writes into
// (it leaves pixels near the corners and outside the region as they were),
// and the counters. Not what every frame writes before it reads it: the frame
// in its planes and its depth samples, the best cells and actions, the
// labels of calibration and the scratch of fusion and filter; nor the rate
// matrix, a cache of the rate in use. modelStateBytes() says how long the list is.
void listModelState(FramePipeline& model, StateFields& fields) {
    fields.integer("framesSeen", model.framesSeen);
    int64_t online = model.haveOnlineFrame ? 1 : 0;
    fields.integer("haveOnlineFrame", online);
    model.haveOnlineFrame = online != 0;
    fields.floats("colourWeightsX", model.colour.weights.plane[0]);
    fields.floats("colourWeightsY", model.colour.weights.plane[1]);
    fields.floats("colourWeightsZ", model.colour.weights.plane[2]);
    fields.bytes("colourLabels", model.colour.labels);
    fields.bytes("filteredMask", model.filteredMask);
    if (!model.depth) return;
    int64_t bits = model.depthBits;
    fields.integer("depthBits", bits);
    model.depthBits = static_cast<int>(bits);
    fields.real("e2D", model.e2D);
    fields.floats("depthWeights", model.depth->weights);
    fields.bytes("depthLabels", model.depth->labels);
    fields.bytes("fusedMask", model.fusedMask);
}

uint64_t modelStateBytes(const ModelGrid& grid, bool withDepth) {
    const uint64_t cells = grid.cells();
    const uint64_t pixels = grid.pixels();
    uint64_t bytes = 2 * stateFieldBytes(1, sizeof(int64_t)) +
                     3 * stateFieldBytes(cells, sizeof(float)) + 2 * stateFieldBytes(pixels, 1);
    if (withDepth) {
        bytes += stateFieldBytes(1, sizeof(int64_t)) + stateFieldBytes(1, sizeof(float)) +
                 stateFieldBytes(cells, sizeof(float)) + 2 * stateFieldBytes(pixels, 1);
    }
    return bytes;
}

}  // namespace dadimero
