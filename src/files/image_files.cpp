#include "image_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "image_header.hpp"
#include "temporary_names.hpp"

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

ImageReading readImageOfSize(const std::string& path, int flags, cv::Size expected) {
    ImageReading reading;
    // Only regular files: the library's open of a FIFO would wait forever for
    // a writer, and a device could feed it without end.
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return reading;
    const std::optional<cv::Size> declared = declaredImageSize(path);
    if (declared && !expected.empty() && *declared != expected &&
        *declared != cv::Size(expected.height, expected.width)) {
        reading.outcome = ImageOutcome::OtherSize;
        reading.declaredSize = *declared;
        return reading;
    }
    const QuietStandardError quiet;
    try {
        reading.image = cv::imread(path, flags);
    } catch (const cv::Exception& failure) {
        if (failure.code == cv::Error::StsNoMem) reading.outcome = ImageOutcome::NoMemory;
        return reading;
    } catch (const std::bad_alloc&) {
        reading.outcome = ImageOutcome::NoMemory;
        return reading;
    }
    // The image's own buffer is allocated outside the decoder, whose smaller
    // buffers failing would look like damage.
    if (!reading.image.empty()) reading.outcome = ImageOutcome::Read;
    return reading;
}

cv::Mat readImage(const std::string& path, int flags) {
    return readImageOfSize(path, flags, cv::Size()).image;
}

namespace {

bool writeAll(int file, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(file, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

namespace {

// The file that writing `path` replaces: `path` itself, or the regular file a
// link at `path` leads to, which is then written through the link as before.
// False when something else is there (a directory, a device, a dangling link).
bool replacedFile(const std::string& path, std::string& target) {
    target = path;
    struct stat existing {};
    if (lstat(path.c_str(), &existing) != 0) return true;  // a new file
    if (S_ISREG(existing.st_mode)) return true;
    struct stat linked {};
    if (!S_ISLNK(existing.st_mode) || stat(path.c_str(), &linked) != 0 ||
        !S_ISREG(linked.st_mode)) {
        return false;
    }
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return false;
    target = resolved;
    std::free(resolved);
    return true;
}

}  // namespace

WriteResult writeFileBytes(const std::string& path, const void* data, size_t size) {
    std::string target;
    if (!replacedFile(path, target)) return WriteResult::OpenFailed;
    const std::string temporary = temporaryNameFor(target);
    const int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file < 0) return WriteResult::OpenFailed;
    const bool written = writeAll(file, static_cast<const uint8_t*>(data), size);
    const bool closed = close(file) == 0;
    if (written && closed && rename(temporary.c_str(), target.c_str()) == 0) {
        return WriteResult::Written;
    }
    unlink(temporary.c_str());
    return WriteResult::WriteFailed;
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
