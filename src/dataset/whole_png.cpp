#include "whole_png.hpp"

#include <zlib.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace dadimero {

namespace {

uint32_t bigEndian32(const unsigned char* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
           uint32_t{bytes[3]};
}

// Channels of each PNG colour type; 0 for a type PNG does not have.
int channelsOf(int colourType) {
    switch (colourType) {
        case 0:
            return 1;
        case 2:
            return 3;
        case 3:
            return 1;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 0;
    }
}

// Bytes of filtered image data for the image: a filter byte and the packed
// pixels per row, per Adam7 pass when interlaced.
uint64_t filteredSize(uint64_t width, uint64_t height, uint64_t bitsPerPixel, bool interlaced) {
    struct Pass {
        uint64_t x0, y0, dx, dy;
    };
    static constexpr std::array<Pass, 7> kAdam7 = {{{0, 0, 8, 8},
                                                    {4, 0, 8, 8},
                                                    {0, 4, 4, 8},
                                                    {2, 0, 4, 4},
                                                    {0, 2, 2, 4},
                                                    {1, 0, 2, 2},
                                                    {0, 1, 1, 2}}};
    static constexpr std::array<Pass, 1> kWhole = {{{0, 0, 1, 1}}};
    uint64_t size = 0;
    auto add = [&](const Pass& p) {
        const uint64_t columns = width > p.x0 ? (width - p.x0 + p.dx - 1) / p.dx : 0;
        const uint64_t rows = height > p.y0 ? (height - p.y0 + p.dy - 1) / p.dy : 0;
        if (columns > 0) size += rows * (1 + (columns * bitsPerPixel + 7) / 8);
    };
    if (interlaced) {
        for (const Pass& p : kAdam7)
            add(p);
    } else {
        add(kWhole[0]);
    }
    return size;
}

// Inflates the zlib stream, counting its bytes without keeping them; false when
// the stream is damaged, incomplete or followed by more data.
bool inflatedSize(const std::vector<unsigned char>& data, uint64_t& size) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    std::array<unsigned char, 1 << 16> out;
    stream.next_in = const_cast<unsigned char*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    size = 0;
    while (result == Z_OK) {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        result = inflate(&stream, Z_NO_FLUSH);
        size += out.size() - stream.avail_out;
        if (result == Z_BUF_ERROR && stream.avail_in == 0) break;  // cut short
    }
    const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole;
}

}  // namespace

std::optional<PngHeader> wholePngHeader(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (bytes.size() < 8 || !std::equal(kSignature, kSignature + 8, bytes.begin())) {
        return std::nullopt;
    }
    std::optional<PngHeader> header;
    std::vector<unsigned char> data;
    size_t at = 8;
    for (bool ended = false; !ended;) {
        if (bytes.size() - at < 12) return std::nullopt;
        const uint32_t length = bigEndian32(&bytes[at]);
        if (length > bytes.size() - at - 12) return std::nullopt;
        const unsigned char* type = &bytes[at + 4];
        const unsigned char* body = &bytes[at + 8];
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), type, 4 + length);
        if (crc != bigEndian32(body + length)) return std::nullopt;
        const std::string name(reinterpret_cast<const char*>(type), 4);
        if (!header && name != "IHDR") return std::nullopt;
        if (name == "IHDR") {
            if (header || length != 13) return std::nullopt;
            header = PngHeader(reinterpret_cast<const char*>(body), 13);
        } else if (name == "IDAT") {
            data.insert(data.end(), body, body + length);
        } else if (name == "IEND") {
            ended = true;
        }
        at += 12 + size_t{length};
    }
    if (at != bytes.size()) return std::nullopt;
    const auto* h = reinterpret_cast<const unsigned char*>(header->data());
    const int channels = channelsOf(h[9]);
    if (channels == 0) return std::nullopt;
    uint64_t size = 0;
    if (!inflatedSize(data, size)) return std::nullopt;
    if (size !=
        filteredSize(bigEndian32(h), bigEndian32(h + 4), uint64_t{h[8]} * channels, h[12] != 0)) {
        return std::nullopt;
    }
    return header;
}

}  // namespace dadimero
