#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace dadimero {

// The 13 bytes of a PNG's header chunk: size, bit depth, colour type,
// compression, filter and interlace method.
using PngHeader = std::string;

// The header of the PNG at `path` when the file decodes whole, else nothing:
// a regular file with the PNG signature, every chunk's CRC right, the header
// chunk first and the end chunk last with nothing after it, and image data
// that inflates, with its own checksum, to exactly the size the header gives.
// A write cut short or damage anywhere in the file fails, which a look at the
// header and the end alone would not show.
std::optional<PngHeader> wholePngHeader(const std::filesystem::path& path);

}  // namespace dadimero
