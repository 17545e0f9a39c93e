// dadi-state-bench: saving and loading a subtractor's whole state against
// plain file I/O of as many bytes, on the same machine and folder, with the
// peak memory of the process that loads it. Each measurement runs in a child
// process of its own, so that its peak memory is its own.
//
//     dadi-state-bench [--repeat N] [--width W] [--height H] [--n N]
//                      [--dir DIR] [--name NAME]
//
// Only the library's public API is used, so that the same program measures an
// earlier version built against its own library.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dadimero/dadimero.hpp"

#include "child_process.hpp"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int repeat = 5;
    int width = 1280;
    int height = 720;
    int n = 3;
    std::string dir = "out/bench";
    std::string name = "state.bin";
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) throw std::invalid_argument("no value for " + option);
        const char* value = argv[++i];
        if (option == "--repeat") {
            o.repeat = std::max(1, std::atoi(value));
        } else if (option == "--width") {
            o.width = std::atoi(value);
        } else if (option == "--height") {
            o.height = std::atoi(value);
        } else if (option == "--n") {
            o.n = std::atoi(value);
        } else if (option == "--dir") {
            o.dir = value;
        } else if (option == "--name") {
            o.name = value;
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    return o;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Resident memory now, in KiB.
long residentKb() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) kb = std::atol(line + 6);
    }
    std::fclose(status);
    return kb;
}

std::vector<char> bytesOf(const std::vector<double>& values) {
    std::vector<char> bytes(values.size() * sizeof(double));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

std::vector<double> valuesOf(const ChildOutcome& outcome) {
    if (!outcome.succeeded) throw std::runtime_error("a measuring child failed");
    std::vector<double> values(outcome.payload.size() / sizeof(double));
    std::memcpy(values.data(), outcome.payload.data(), values.size() * sizeof(double));
    return values;
}

// A subtractor past calibration over random frames with depth: every buffer
// of its state holds varied values.
dadimero::Subtractor runningSubtractor(const Options& o) {
    cv::RNG random(7);
    cv::Mat background(o.height, o.width, CV_8UC3);
    cv::Mat depth(o.height, o.width, CV_16UC1);
    random.fill(background, cv::RNG::UNIFORM, 0, 256);
    random.fill(depth, cv::RNG::UNIFORM, 500, 4000);
    dadimero::Settings settings;
    settings.n = o.n;
    settings.K = 3;
    dadimero::Subtractor subtractor(settings, background, depth);
    cv::Mat mask;
    for (int f = 0; f < 4; ++f) {
        cv::Mat colour = background.clone();
        colour(cv::Rect(f * 40, 100, 200, 200)).setTo(cv::Scalar(30, 200, 90));
        subtractor.apply(colour, depth, mask);
    }
    return subtractor;
}

void writeAll(int file, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(file, data, size);
        if (n <= 0) throw std::runtime_error("cannot write");
        data += n;
        size -= static_cast<size_t>(n);
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = parse(argc, argv);
        const std::string path = o.dir + "/" + o.name;
        const std::string plainPath = o.dir + "/plain.bin";
        const double modelBytes = 4.0 * 4.0 * o.width * o.height * o.n * o.n;

        // Saving: the median of `repeat` saves over the last one, and the size.
        const std::vector<double> saved = valuesOf(runForked([&] {
            dadimero::Subtractor subtractor = runningSubtractor(o);
            std::vector<double> seconds;
            for (int r = 0; r < o.repeat; ++r) {
                const Clock::time_point start = Clock::now();
                subtractor.saveState(path);
                seconds.push_back(secondsSince(start));
            }
            return bytesOf({median(seconds)});
        }));
        const int probe = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const off_t fileBytes = probe >= 0 ? lseek(probe, 0, SEEK_END) : -1;
        if (probe >= 0) close(probe);
        if (fileBytes <= 0) throw std::runtime_error("no state at " + path);

        // Plain writes of as many bytes over a file as large, with and without
        // a sync.
        const std::vector<double> written = valuesOf(runForked([&] {
            std::vector<char> bytes(static_cast<size_t>(fileBytes));
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(i * 2654435761u >> 24);
            std::vector<double> synced;
            std::vector<double> unsynced;
            // Each write replaces a file as large, as a save replaces the last one.
            for (int r = -1; r < 2 * o.repeat; ++r) {
                const Clock::time_point start = Clock::now();
                const int file = open(plainPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                writeAll(file, bytes.data(), bytes.size());
                if (r % 2 == 0 && fsync(file) != 0) throw std::runtime_error("cannot sync");
                close(file);
                if (r >= 0) (r % 2 == 0 ? synced : unsynced).push_back(secondsSince(start));
            }
            unlink(plainPath.c_str());
            return bytesOf({median(synced), median(unsynced)});
        }));

        // Loading into a new subtractor, and a plain read into a new buffer,
        // each in a fresh process: time, and memory beyond what it held before.
        std::vector<double> loadSeconds;
        std::vector<double> loadPeakKb;
        std::vector<double> loadAddedKb;
        std::vector<double> readSeconds;
        std::vector<double> readPeakKb;
        for (int r = 0; r < o.repeat; ++r) {
            const ChildOutcome load = runForked([&] {
                const long before = residentKb();
                dadimero::Settings settings;
                settings.n = o.n;
                dadimero::Subtractor subtractor(settings);
                const Clock::time_point start = Clock::now();
                subtractor.loadState(path);
                return bytesOf({secondsSince(start), static_cast<double>(before)});
            });
            const std::vector<double> loaded = valuesOf(load);
            loadSeconds.push_back(loaded[0]);
            loadPeakKb.push_back(static_cast<double>(load.peakRssKb));
            loadAddedKb.push_back(static_cast<double>(load.peakRssKb) - loaded[1]);
            const ChildOutcome read = runForked([&] {
                const Clock::time_point start = Clock::now();
                // Not filled: its pages are first touched by the read.
                const std::unique_ptr<char[]> bytes(new char[static_cast<size_t>(fileBytes)]);
                const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
                size_t got = 0;
                char* data = bytes.get();
                for (ssize_t n;
                     (n = ::read(file, data + got, static_cast<size_t>(fileBytes) - got)) > 0;)
                    got += static_cast<size_t>(n);
                close(file);
                if (got != static_cast<size_t>(fileBytes)) throw std::runtime_error("short read");
                return bytesOf({secondsSince(start)});
            });
            readSeconds.push_back(valuesOf(read)[0]);
            readPeakKb.push_back(static_cast<double>(read.peakRssKb));
        }
        const double MiB = 1024.0 * 1024.0;
        std::printf("State of a %dx%d RGB-D subtractor, n = %d, %s, median of %d\n", o.width,
                    o.height, o.n, o.name.c_str(), o.repeat);
        std::printf("  model (36 floats a pixel at n = 3)   %9.1f MiB\n", modelBytes / MiB);
        std::printf("  state file                           %9.1f MiB  %5.2f x the model\n",
                    static_cast<double>(fileBytes) / MiB,
                    static_cast<double>(fileBytes) / modelBytes);
        std::printf(
            "  save (written, synced, renamed)      %9.1f ms   %5.2f x plain write + sync\n",
            1e3 * saved[0], saved[0] / written[0]);
        std::printf("  plain write + sync / plain write     %9.1f ms / %.1f ms\n", 1e3 * written[0],
                    1e3 * written[1]);
        std::printf("  load                                 %9.1f ms   %5.2f x plain read\n",
                    1e3 * median(loadSeconds), median(loadSeconds) / median(readSeconds));
        std::printf("  plain read into a new buffer         %9.1f ms\n", 1e3 * median(readSeconds));
        std::printf(
            "  loading process: peak / added       %9.1f MiB / %.1f MiB  (%.2f x the model)\n",
            median(loadPeakKb) / 1024.0, median(loadAddedKb) / 1024.0,
            median(loadAddedKb) * 1024.0 / modelBytes);
        std::printf("  plain reading process: peak          %9.1f MiB\n",
                    median(readPeakKb) / 1024.0);
        unlink(path.c_str());
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "dadi-state-bench: %s\n", failure.what());
        return 2;
    }
}
