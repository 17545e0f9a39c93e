#include "image_header.hpp"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace dadimero {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool readBytes(std::FILE* file, uint8_t* bytes, size_t count) {
    return std::fread(bytes, 1, count, file) == count;
}

uint32_t bigEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

uint32_t littleEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::optional<cv::Size> sizeOf(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) return std::nullopt;
    return cv::Size(static_cast<int>(width), static_cast<int>(height));
}

// The signature, then the IHDR chunk, which must come first: its length (13),
// its type, the width and the height.
std::optional<cv::Size> pngSize(std::FILE* file) {
    uint8_t header[24];
    if (!readBytes(file, header, sizeof header)) return std::nullopt;
    if (bigEndian(header + 8, 4) != 13 || std::memcmp(header + 12, "IHDR", 4) != 0) {
        return std::nullopt;
    }
    return sizeOf(bigEndian(header + 16, 4), bigEndian(header + 20, 4));
}

// The file header (14 bytes), then the info header: 16-bit sides in the old
// 12-byte one, signed 32-bit sides in the others, a negative height for rows
// stored top down.
std::optional<cv::Size> bmpSize(std::FILE* file) {
    uint8_t header[26];
    if (!readBytes(file, header, sizeof header)) return std::nullopt;
    const uint32_t infoSize = littleEndian(header + 14, 4);
    if (infoSize == 12) return sizeOf(littleEndian(header + 18, 2), littleEndian(header + 20, 2));
    if (infoSize < 16) return std::nullopt;
    const auto width = static_cast<int32_t>(littleEndian(header + 18, 4));
    const auto height = static_cast<int32_t>(littleEndian(header + 22, 4));
    return sizeOf(width, height < 0 ? -int64_t{height} : height);
}

bool isFrameHeader(int marker) {
    // SOF0 .. SOF15 but DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The segments after the start-of-image marker, up to the first frame header:
// its precision, height and width. A scan before any frame header, or a height
// left to a later marker (0), tells nothing.
std::optional<cv::Size> jpegSize(std::FILE* file) {
    constexpr int kMostSegments = 4096;
    for (int segment = 0; segment < kMostSegments; ++segment) {
        int marker = std::fgetc(file);
        if (marker != 0xFF) return std::nullopt;
        while (marker == 0xFF)
            marker = std::fgetc(file);
        if (marker == EOF) return std::nullopt;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return std::nullopt;
        uint8_t length[2];
        if (!readBytes(file, length, 2) || bigEndian(length, 2) < 2) return std::nullopt;
        if (isFrameHeader(marker)) {
            uint8_t frame[5];
            if (!readBytes(file, frame, sizeof frame)) return std::nullopt;
            return sizeOf(bigEndian(frame + 3, 2), bigEndian(frame + 1, 2));
        }
        if (std::fseek(file, static_cast<long>(bigEndian(length, 2)) - 2, SEEK_CUR) != 0) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<cv::Size> declaredImageSize(const std::string& path) {
    const File file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return std::nullopt;
    uint8_t magic[8];
    if (!readBytes(file.get(), magic, sizeof magic)) return std::nullopt;
    constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (std::memcmp(magic, kPngSignature, 8) == 0) {
        std::rewind(file.get());
        return pngSize(file.get());
    }
    if (magic[0] == 'B' && magic[1] == 'M') {
        std::rewind(file.get());
        return bmpSize(file.get());
    }
    if (magic[0] == 0xFF && magic[1] == 0xD8) {
        if (std::fseek(file.get(), 2, SEEK_SET) != 0) return std::nullopt;
        return jpegSize(file.get());
    }
    return std::nullopt;
}

}  // namespace dadimero
