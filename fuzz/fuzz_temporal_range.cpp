// Fuzzes the temporal range file: the text parser, and the reader on a file
// holding the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/temporal_range.hpp"
#include "fuzz_temp_dir.hpp"

using namespace dadimero;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TemporalRange parsed{-7, -9};
    const bool ok = parseTemporalRange(text, parsed);
    if (!ok && (parsed.fromIdx != -7 || parsed.toIdx != -9)) std::abort();  // untouched

    const std::string path = fuzzTempDir() + "/temporalROI.txt";
    writeFuzzFile(path, data, size);
    TemporalRange read{-7, -9};
    const TemporalRangeStatus status = readTemporalRange(path, read);
    if (status == TemporalRangeStatus::Missing) std::abort();
    // The reader looks at the first 4096 bytes only; below that both agree.
    if (size <= 4096) {
        if ((status == TemporalRangeStatus::Read) != ok) std::abort();
        if (ok && (read.fromIdx != parsed.fromIdx || read.toIdx != parsed.toIdx)) std::abort();
    }
    return 0;
}
