// Writes a synthetic RGB-D sequence with ground truth, for demos and tests.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "cli_arguments.hpp"
#include "evaluated_range.hpp"
#include "sample_sequence.hpp"

namespace {

const char* const kUsage =
    "Usage: make-sample-sequence --out DIR [options]\n"
    "Writes a synthetic RGB-D sequence: input/in%06d.png, depth/d%06d.png,\n"
    "groundtruth/gt%06d.png, temporalROI.txt, ROI.bmp and CinitImageL.png.\n"
    "The same options and seed always give the same files.\n"
    "\n"
    "  --out DIR           directory to write (created if needed; required)\n"
    "  --width N           frame width in pixels, 16..4096 (default 320)\n"
    "  --height N          frame height in pixels, 16..4096 (default 240)\n"
    "  --frames N          number of frames, 4..99999 (default 200)\n"
    "  --depth-bits 8|16   depth file format (default 16: millimetres)\n"
    "  --seed N            seed of the textures and noise (default 1)\n"
    "  --roi full|partial  region of interest: whole frame, or without a strip at\n"
    "                      the top and right edges (default partial)\n"
    "  -h, --help          show this text\n";

struct Options {
    std::filesystem::path out;
    SampleSettings settings;
};

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--out") {
            o.out = takeOptionValue(args, i);
        } else if (a == "--width") {
            o.settings.width =
                static_cast<int>(parseIntegerArgument(a, takeOptionValue(args, i), 16, 4096));
        } else if (a == "--height") {
            o.settings.height =
                static_cast<int>(parseIntegerArgument(a, takeOptionValue(args, i), 16, 4096));
        } else if (a == "--frames") {
            o.settings.frames =
                static_cast<int>(parseIntegerArgument(a, takeOptionValue(args, i), 4, 99999));
        } else if (a == "--depth-bits") {
            const std::string v = takeOptionValue(args, i);
            if (v != "8" && v != "16")
                throw UsageError("--depth-bits needs 8 or 16, got '" + v + "'");
            o.settings.depthBits = v == "8" ? 8 : 16;
        } else if (a == "--seed") {
            o.settings.seed = static_cast<uint64_t>(
                parseIntegerArgument(a, takeOptionValue(args, i), 0, INT64_MAX));
        } else if (a == "--roi") {
            const std::string v = takeOptionValue(args, i);
            if (v != "full" && v != "partial")
                throw UsageError("--roi needs full or partial, got '" + v + "'");
            o.settings.partialRoi = v == "partial";
        } else {
            throw UsageError("unknown option '" + a + "' (see --help)");
        }
    }
    if (o.out.empty()) throw UsageError("--out DIR is required (see --help)");
    return o;
}

void writeImage(const std::filesystem::path& path, const cv::Mat& image) {
    bool written = false;
    try {
        written = cv::imwrite(path.string(), image);
    } catch (const cv::Exception&) {
        written = false;
    }
    if (!written) throw std::runtime_error("cannot write " + path.string());
}

void writeSequence(const Options& o) {
    const dadimero::SequenceDirectory out(o.out);
    for (const char* sub : {"input", "depth", "groundtruth"})
        std::filesystem::create_directories(o.out / sub);
    const SampleSequence sequence(o.settings);
    writeImage(out.background(), sequence.backgroundImage());
    writeImage(out.regionOfInterest(), sequence.regionOfInterest());
    const EvaluatedRange range = sequence.evaluatedRange();
    std::ofstream rangeFile(out.temporalRange());
    rangeFile << range.first << ' ' << range.last << '\n';
    if (!rangeFile.flush())
        throw std::runtime_error("cannot write " + out.temporalRange().string());
    for (int frame = 1; frame <= o.settings.frames; ++frame) {
        const SampleFrame f = sequence.render(frame);
        writeImage(out.colourFrame(frame), f.colour);
        writeImage(out.depthFrame(frame), f.depth);
        writeImage(out.groundTruth(frame), f.groundTruth);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    if (asksForHelp(args)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options options;
    try {
        options = parseOptions(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "make-sample-sequence: %s\n", e.what());
        return 2;
    }
    try {
        writeSequence(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample-sequence: %s\n", e.what());
        return 1;
    }
    std::printf("wrote %d frames of %dx%d to %s\n", options.settings.frames, options.settings.width,
                options.settings.height, options.out.string().c_str());
    return 0;
}
