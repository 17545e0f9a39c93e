#include "imageio/image_files.hpp"

#include <cstdio>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

cv::Mat readImage(const std::string& path, int flags) {
    try {
        return cv::imread(path, flags);
    } catch (const cv::Exception&) {
        return cv::Mat();
    } catch (const std::bad_alloc&) {
        return cv::Mat();
    }
}

WriteResult writeFileBytes(const std::string& path, const void* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return WriteResult::OpenFailed;
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return written && flushed && closed ? WriteResult::Written : WriteResult::WriteFailed;
}

bool writePngFile(const std::string& path, const cv::Mat& image) {
    std::vector<uint8_t> bytes;
    try {
        if (!cv::imencode(".png", image, bytes)) return false;
    } catch (const cv::Exception&) {
        return false;
    }
    return writeFileBytes(path, bytes.data(), bytes.size()) == WriteResult::Written;
}

void silenceImageLibraryLog() {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
}
