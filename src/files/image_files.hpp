#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace dadimero {

// Reads an image file with the given cv::imread flags. Any failure of the
// library (missing file, corrupt data, an exception) gives an empty image, and
// so does anything but a regular file (a directory, a FIFO, a device).
cv::Mat readImage(const std::string& path, int flags);

// Encodes the image as PNG and writes it to `path`. Returns false when the file
// cannot be created or the bytes cannot all be written and closed (a full disk
// included), so that a lost file is never taken for a written one.
bool writePngFile(const std::string& path, const cv::Mat& image);

enum class WriteResult { Written, OpenFailed, WriteFailed };

// Writes `size` bytes to `path`, checking the open, every write and the close.
WriteResult writeFileBytes(const std::string& path, const void* data, size_t size);

// Keeps the image library's own log lines away from the user's terminal.
void silenceImageLibraryLog();

}  // namespace dadimero
