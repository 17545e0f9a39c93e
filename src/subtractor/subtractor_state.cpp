// The state file of a Subtractor and its settings in cv::FileStorage. A state
// file is a FileStorage map (YAML, XML or JSON, as the name's extension says)
// with a format name, a version, the settings, the backgrounds and region the
// subtractor keeps, then every buffer of the model in base64, and checksums
// that catch a damaged or truncated file.
#include "subtractor/subtractor_state.hpp"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "subtractor/public_errors.hpp"

namespace dadimero {

namespace {

constexpr const char* kFormatName = "DADI-MERO subtractor state";
constexpr int kVersion = 1;

// FNV-1a, 64 bits, over every byte a state file holds in its arrays and numbers.
class Checksum {
  public:
    void add(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash_ ^= bytes[i];
            hash_ *= 0x100000001b3ULL;
        }
    }
    void add(const cv::Mat& image) {
        add(&image.rows, sizeof image.rows);
        add(&image.cols, sizeof image.cols);
        const int type = image.type();
        add(&type, sizeof type);
        const size_t rowBytes = image.cols * image.elemSize();
        for (int r = 0; r < image.rows; ++r)
            add(image.ptr(r), rowBytes);
    }
    std::string text() const {
        return cv::format("%016llx", static_cast<unsigned long long>(hash_));
    }

  private:
    uint64_t hash_ = 0xcbf29ce484222325ULL;
};

void addSettings(Checksum& sum, const Settings& s) {
    const int ints[] = {s.n, s.K, s.Cw, s.shadowRemoval ? 1 : 0, s.shadowValue, s.threads};
    const float floats[] = {s.e1, s.e2, s.e1D, s.e2D, s.c1, s.c2, s.gamma, s.beta, s.tauS, s.tauH};
    sum.add(ints, sizeof ints);
    sum.add(floats, sizeof floats);
}

void addHeader(Checksum& sum, const StateHeader& h) {
    Settings s = h.settings;
    s.threads = 0;  // the thread count is not part of the state
    addSettings(sum, s);
    const int shape[] = {h.hasModel ? 1 : 0, h.width, h.height, h.usesDepth ? 1 : 0};
    sum.add(shape, sizeof shape);
    sum.add(h.roi);
    sum.add(h.colourBackground);
    sum.add(h.depthBackground);
}

[[noreturn]] void failFile(const std::string& filename, const std::string& what) {
    fail(cv::Error::StsParseError, filename + " " + what);
}

// Writes every field into the file, adding its bytes to the checksum.
class FieldWriter : public StateFields {
  public:
    FieldWriter(cv::FileStorage& fs, Checksum& sum) : fs_(fs), sum_(sum) {}
    void floats(const char* name, std::vector<float>& values, int rows, int cols) override {
        put(name, cv::Mat(rows, cols, CV_32FC1, values.data()));
    }
    void bytes(const char* name, std::vector<uint8_t>& values, int rows, int cols) override {
        put(name, cv::Mat(rows, cols, CV_8UC1, values.data()));
    }
    void ints(const char* name, std::vector<int>& values, int rows, int cols) override {
        put(name, cv::Mat(rows, cols, CV_32SC1, values.data()));
    }
    void integer(const char* name, int64_t& value) override {
        sum_.add(&value, sizeof value);
        // FileStorage holds 32-bit integers: the value goes as text.
        fs_ << name << std::to_string(value);
    }
    void real(const char* name, float& value) override {
        put(name, cv::Mat(1, 1, CV_32FC1, &value));
    }

  private:
    void put(const char* name, const cv::Mat& image) {
        sum_.add(image);
        fs_ << name << image;
    }
    cv::FileStorage& fs_;
    Checksum& sum_;
};

// Reads every field back into buffers of the expected shape.
class FieldReader : public StateFields {
  public:
    FieldReader(const cv::FileNode& node, Checksum& sum, const std::string& filename)
        : node_(node), sum_(sum), filename_(filename) {}
    void floats(const char* name, std::vector<float>& values, int rows, int cols) override {
        get(name, values.data(), values.size() * sizeof(float), rows, cols, CV_32FC1);
    }
    void bytes(const char* name, std::vector<uint8_t>& values, int rows, int cols) override {
        get(name, values.data(), values.size(), rows, cols, CV_8UC1);
    }
    void ints(const char* name, std::vector<int>& values, int rows, int cols) override {
        get(name, values.data(), values.size() * sizeof(int), rows, cols, CV_32SC1);
    }
    void integer(const char* name, int64_t& value) override {
        const cv::FileNode field = node_[name];
        if (!field.isString())
            failFile(filename_, "is damaged or truncated: " + std::string(name) + " is missing");
        const std::string text = field.string();
        char* end = nullptr;
        errno = 0;
        const long long number = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno != 0) {
            failFile(filename_, "is damaged: " + std::string(name) + " is not a number");
        }
        value = number;
        sum_.add(&value, sizeof value);
    }
    void real(const char* name, float& value) override {
        get(name, &value, sizeof value, 1, 1, CV_32FC1);
    }

  private:
    void get(const char* name, void* out, size_t size, int rows, int cols, int type) {
        cv::Mat image;
        const cv::FileNode field = node_[name];
        if (field.isMap()) field >> image;
        if (image.rows != rows || image.cols != cols || image.type() != type ||
            image.total() * image.elemSize() != size) {
            failFile(filename_, "is damaged or truncated: " + std::string(name) +
                                    " is missing or has the wrong shape");
        }
        sum_.add(image);
        if (size > 0) std::memcpy(out, image.ptr(), size);
    }
    cv::FileNode node_;
    Checksum& sum_;
    const std::string& filename_;
};

cv::Mat optionalMat(const cv::FileNode& node) {
    cv::Mat image;
    if (node.isMap()) node >> image;
    return image;
}

int intOf(const cv::FileNode& node) {
    return node.isInt() ? static_cast<int>(node) : -1;
}

}  // namespace

void writeSettings(cv::FileStorage& fs, const Settings& s) {
    fs << "n" << s.n << "K" << s.K << "e1" << s.e1 << "e2" << s.e2 << "e1D" << s.e1D << "e2D"
       << s.e2D << "c1" << s.c1 << "c2" << s.c2 << "Cw" << s.Cw << "shadowRemoval"
       << (s.shadowRemoval ? 1 : 0) << "gamma" << s.gamma << "beta" << s.beta << "tauS" << s.tauS
       << "tauH" << s.tauH << "shadowValue" << s.shadowValue << "threads" << s.threads;
}

namespace {

void readInt(const cv::FileNode& node, const char* name, int& target) {
    const cv::FileNode field = node[name];
    if (field.empty()) return;
    if (!field.isInt()) {
        fail(cv::Error::StsParseError, std::string("the setting ") + name + " must be an integer");
    }
    target = static_cast<int>(field);
}

void readFloat(const cv::FileNode& node, const char* name, float& target) {
    const cv::FileNode field = node[name];
    if (field.empty()) return;
    if (!field.isInt() && !field.isReal()) {
        fail(cv::Error::StsParseError, std::string("the setting ") + name + " must be a number");
    }
    const double value = field.real();
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX) {
        fail(cv::Error::StsOutOfRange,
             std::string(name) + " must be a finite number, got " + cv::format("%g", value));
    }
    target = static_cast<float>(value);
}

}  // namespace

Settings readSettings(const cv::FileNode& node, Settings s) {
    if (!node.isMap()) fail(cv::Error::StsParseError, "the settings must be a map of keys");
    readInt(node, "n", s.n);
    readInt(node, "K", s.K);
    readFloat(node, "e1", s.e1);
    readFloat(node, "e2", s.e2);
    readFloat(node, "e1D", s.e1D);
    readFloat(node, "e2D", s.e2D);
    readFloat(node, "c1", s.c1);
    readFloat(node, "c2", s.c2);
    readInt(node, "Cw", s.Cw);
    int shadowRemoval = s.shadowRemoval ? 1 : 0;
    readInt(node, "shadowRemoval", shadowRemoval);
    if (shadowRemoval != 0 && shadowRemoval != 1) {
        fail(cv::Error::StsOutOfRange,
             "shadowRemoval must be 0 or 1, got " + std::to_string(shadowRemoval));
    }
    s.shadowRemoval = shadowRemoval != 0;
    readFloat(node, "gamma", s.gamma);
    readFloat(node, "beta", s.beta);
    readFloat(node, "tauS", s.tauS);
    readFloat(node, "tauH", s.tauH);
    readInt(node, "shadowValue", s.shadowValue);
    readInt(node, "threads", s.threads);
    return s;
}

void writeStateFile(const std::string& filename, const StateHeader& header,
                    const std::function<void(StateFields&)>& listFields) {
    // OpenCV would log a file it cannot open: the library says it in its error.
    const std::filesystem::path folder = std::filesystem::path(filename).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        fail(cv::Error::StsError, "cannot write the state file " + filename);
    }
    cv::FileStorage fs;
    try {
        fs.open(filename, cv::FileStorage::WRITE | cv::FileStorage::BASE64);
    } catch (const cv::Exception&) {
        fs.release();
    }
    if (!fs.isOpened()) fail(cv::Error::StsError, "cannot write the state file " + filename);
    fs << "format" << kFormatName << "version" << kVersion;
    fs << "settings"
       << "{";
    writeSettings(fs, header.settings);
    fs << "}";
    fs << "hasModel" << (header.hasModel ? 1 : 0) << "width" << header.width << "height"
       << header.height << "usesDepth" << (header.usesDepth ? 1 : 0);
    if (!header.roi.empty()) fs << "roi" << header.roi;
    if (!header.colourBackground.empty()) fs << "colourBackground" << header.colourBackground;
    if (!header.depthBackground.empty()) fs << "depthBackground" << header.depthBackground;
    Checksum headerSum;
    addHeader(headerSum, header);
    fs << "headerChecksum" << headerSum.text();
    if (header.hasModel) {
        Checksum fieldSum;
        fs << "model"
           << "{";
        FieldWriter writer(fs, fieldSum);
        listFields(writer);
        fs << "}";
        fs << "modelChecksum" << fieldSum.text();
    }
    try {
        fs.release();
    } catch (const cv::Exception&) {
        fail(cv::Error::StsError, "cannot write the state file " + filename);
    }
}

struct StateFileReader::File {
    std::string filename;
    cv::FileStorage fs;
    StateHeader header;
};

StateFileReader::StateFileReader(const std::string& filename) : file_(std::make_unique<File>()) {
    File& file = *file_;
    file.filename = filename;
    // OpenCV would log a file it cannot open: the library says it in its error.
    std::error_code error;
    if (!std::filesystem::is_regular_file(filename, error)) {
        fail(cv::Error::StsError, "cannot read the state file " + filename);
    }
    try {
        file.fs.open(filename, cv::FileStorage::READ);
    } catch (const cv::Exception&) {
        failFile(filename, "is damaged or truncated: it cannot be parsed");
    }
    if (!file.fs.isOpened()) fail(cv::Error::StsError, "cannot read the state file " + filename);
    const cv::FileNode root = file.fs.root();
    const cv::FileNode format = root["format"];
    if (!format.isString() || format.string() != kFormatName) {
        failFile(filename, "is not a DADI-MERO subtractor state file");
    }
    const int version = intOf(root["version"]);
    if (version != kVersion) {
        failFile(filename, "is a state file of version " + std::to_string(version) +
                               "; this library reads version " + std::to_string(kVersion));
    }
    StateHeader& h = file.header;
    try {
        h.settings = readSettings(root["settings"], Settings());
        h.hasModel = intOf(root["hasModel"]) == 1;
        h.width = intOf(root["width"]);
        h.height = intOf(root["height"]);
        h.usesDepth = intOf(root["usesDepth"]) == 1;
        h.roi = optionalMat(root["roi"]);
        h.colourBackground = optionalMat(root["colourBackground"]);
        h.depthBackground = optionalMat(root["depthBackground"]);
    } catch (const cv::Exception&) {
        failFile(filename, "is damaged or truncated: its header cannot be read");
    }
    Checksum sum;
    addHeader(sum, h);
    const cv::FileNode stored = root["headerChecksum"];
    if (!stored.isString() || stored.string() != sum.text()) {
        failFile(filename, "is damaged or truncated: its header does not match its checksum");
    }
    if (h.hasModel && (h.width <= 0 || h.height <= 0)) {
        failFile(filename, "is damaged: its frame size is not positive");
    }
}

StateFileReader::~StateFileReader() = default;

const StateHeader& StateFileReader::header() const {
    return file_->header;
}

void StateFileReader::readFields(const std::function<void(StateFields&)>& listFields) {
    File& file = *file_;
    const cv::FileNode root = file.fs.root();
    Checksum sum;
    try {
        FieldReader reader(root["model"], sum, file.filename);
        listFields(reader);
    } catch (cv::Exception& failure) {
        if (failure.file.empty()) throw;  // our own sentence
        failFile(file.filename, "is damaged or truncated: its model cannot be read");
    }
    const cv::FileNode stored = root["modelChecksum"];
    if (!stored.isString() || stored.string() != sum.text()) {
        failFile(file.filename, "is damaged or truncated: its model does not match its checksum");
    }
}

}  // namespace dadimero
