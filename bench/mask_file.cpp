#include "mask_file.hpp"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include <opencv2/imgcodecs.hpp>

void writeMaskFile(const std::string& dir, int64_t frame, const cv::Mat& mask) {
    std::vector<uchar> bytes;
    if (!cv::imencode(".png", mask, bytes)) throw std::runtime_error("PNG encoding failed");
    char name[32];
    std::snprintf(name, sizeof name, "/bin%06lld.png", static_cast<long long>(frame));
    const std::string path = dir + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + path);
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    const bool closed = std::fclose(file) == 0;
    if (written != bytes.size() || !closed) throw std::runtime_error("cannot write " + path);
}
