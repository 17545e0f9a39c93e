#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace dadimero {

// Reads an image file with the given cv::imread flags. Any failure of the
// library (missing file, corrupt data, an exception) gives an empty image, and
// so does anything but a regular file (a directory, a FIFO, a device).
cv::Mat readImage(const std::string& path, int flags);

enum class ImageOutcome {
    Read,
    Unreadable,  // missing, not a regular file, damaged, or of no known format
    NoMemory,    // its pixels could not be allocated
    OtherSize    // its header declares another size: not decoded
};

struct ImageReading {
    ImageOutcome outcome = ImageOutcome::Unreadable;
    cv::Mat image;          // with Read
    cv::Size declaredSize;  // with OtherSize
};

// Reads as readImage does, telling why an image could not be read. With a
// nonempty `expected` size, a PNG, BMP or JPEG file whose header declares
// another size is not decoded (OtherSize); the transposed size passes, as an
// orientation tag may turn the decoded image, so the caller still checks the
// decoded size.
ImageReading readImageOfSize(const std::string& path, int flags, cv::Size expected);

// Encodes the image as PNG and writes it to `path` as writeFileBytes does.
// Returns false when the file was not written, so that a lost file is never
// taken for a written one.
bool writePngFile(const std::string& path, const cv::Mat& image);

enum class WriteResult {
    Written,
    OpenFailed,  // `path` is there but not a regular file (or a link to one), or no
                 // file can be created beside it
    WriteFailed  // the bytes could not all be written (a full disk), or the rename failed
};

// Writes `size` bytes to `path` whole or not at all: into a temporary file in
// the same directory, which is closed and then renamed to `path`, so that a
// process killed at any moment leaves either the old file or the complete new
// one under the name (see temporary_names.hpp for the temporary names and the
// removal of those a kill leaves). Only a regular file is ever replaced; a link to
// one is written through, anything else at `path` is refused.
WriteResult writeFileBytes(const std::string& path, const void* data, size_t size);

// Keeps the image library's own log lines away from the user's terminal.
void silenceImageLibraryLog();

}  // namespace dadimero
