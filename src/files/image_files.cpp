#include "files/image_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

namespace dadimero {

namespace {

// The image codecs print their own complaints about damaged files ("libpng
// error: ...", "libpng warning: iCCP ...") straight to file descriptor 2. While
// any thread decodes, descriptor 2 points at /dev/null; the program reports a
// damaged file itself. The descriptor is process-wide, hence the shared count.
class QuietStandardError {
  public:
    QuietStandardError() {
        std::lock_guard<std::mutex> lock(mutex());
        if (state().depth++ > 0) return;
        const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (devNull < 0) return;
        std::fflush(stderr);
        state().saved = dup(2);
        if (state().saved >= 0) dup2(devNull, 2);
        close(devNull);
    }
    ~QuietStandardError() {
        std::lock_guard<std::mutex> lock(mutex());
        if (--state().depth > 0 || state().saved < 0) return;
        dup2(state().saved, 2);
        close(state().saved);
        state().saved = -1;
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

  private:
    struct State {
        int depth = 0;
        int saved = -1;
    };
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static State& state() {
        static State instance;
        return instance;
    }
};

}  // namespace

cv::Mat readImage(const std::string& path, int flags) {
    // Only regular files: the library's open of a FIFO would wait forever for
    // a writer, and a device could feed it without end.
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return cv::Mat();
    const QuietStandardError quiet;
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

}  // namespace dadimero
