// Writes side-by-side pictures of chosen frames for people to look at.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "cli_arguments.hpp"
#include "frame_panels.hpp"
#include "sequence_layout.hpp"

namespace {

const char* const kUsage =
    "Usage: draw-frames SEQDIR MASKDIR --frames LIST --out DIR [--overlay] [--scale N]\n"
    "Writes DIR/frame%06d.png for each chosen frame: the colour frame, the depth\n"
    "in false colour (blue near, red far, magenta = no depth), the mask\n"
    "MASKDIR/bin%06d.png and, when SEQDIR/groundtruth exists, the ground truth.\n"
    "\n"
    "  --frames LIST  frame numbers, e.g. 60,120 or 100-110\n"
    "  --out DIR      output directory (created if needed)\n"
    "  --overlay      add a panel with the mask tinted red on the frame and the\n"
    "                 ground truth's moving regions outlined in green\n"
    "  --scale N      enlarge every panel N times, 1..8 (default: 1, or more for\n"
    "                 frames under 240 pixels wide)\n"
    "  -h, --help     show this text\n";

struct Options {
    std::filesystem::path sequence;
    std::filesystem::path masks;
    std::filesystem::path out;
    std::vector<int> frames;
    bool overlay = false;
    int scale = 0;  // 0: chosen from the frame size
};

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--frames") {
            o.frames = parseFrameList(a, takeOptionValue(args, i));
        } else if (a == "--out") {
            o.out = takeOptionValue(args, i);
        } else if (a == "--overlay") {
            o.overlay = true;
        } else if (a == "--scale") {
            o.scale = static_cast<int>(parseIntegerArgument(a, takeOptionValue(args, i), 1, 8));
        } else if (a.rfind("--", 0) == 0) {
            throw UsageError("unknown option '" + a + "' (see --help)");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) throw UsageError("needs SEQDIR and MASKDIR (see --help)");
    if (o.frames.empty()) throw UsageError("--frames LIST is required");
    if (o.out.empty()) throw UsageError("--out DIR is required");
    o.sequence = positional[0];
    o.masks = positional[1];
    return o;
}

cv::Mat readImage(const std::filesystem::path& path, int flags, const char* what) {
    cv::Mat image;
    try {
        image = cv::imread(path.string(), flags);
    } catch (const cv::Exception&) {
        image.release();
    }
    if (image.empty())
        throw std::runtime_error(std::string("cannot read ") + what + " " + path.string());
    return image;
}

cv::Mat drawFrame(const Options& o, int frame) {
    const cv::Mat colour = readImage(colourFramePath(o.sequence, frame), cv::IMREAD_COLOR, "frame");
    const cv::Mat depth =
        readImage(depthFramePath(o.sequence, frame), cv::IMREAD_ANYDEPTH, "depth");
    const cv::Mat mask = readImage(maskPath(o.masks, frame), cv::IMREAD_GRAYSCALE, "mask");
    const bool hasGroundTruth = std::filesystem::is_directory(o.sequence / "groundtruth");
    const cv::Mat groundTruth = hasGroundTruth ? readImage(groundTruthPath(o.sequence, frame),
                                                           cv::IMREAD_GRAYSCALE, "ground truth")
                                               : cv::Mat();
    for (const cv::Mat* image : {&depth, &mask, &groundTruth}) {
        if (!image->empty() && image->size() != colour.size()) {
            throw std::runtime_error("frame " + std::to_string(frame) +
                                     ": images of different sizes");
        }
    }
    const int scale = o.scale > 0 ? o.scale : std::clamp(240 / colour.cols, 1, 8);
    std::vector<cv::Mat> panels;
    panels.push_back(captionedPanel(colour, "frame " + std::to_string(frame), scale));
    panels.push_back(captionedPanel(depthFalseColour(depth), "depth (magenta: none)", scale));
    panels.push_back(captionedPanel(mask, "mask", scale));
    if (o.overlay) {
        panels.push_back(
            captionedPanel(maskOverlay(colour, mask, groundTruth), "mask red, GT green", scale));
    }
    if (hasGroundTruth) panels.push_back(captionedPanel(groundTruth, "ground truth", scale));
    return sideBySide(panels);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options options;
    try {
        options = parseOptions(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "draw-frames: %s\n", e.what());
        return 2;
    }
    try {
        std::filesystem::create_directories(options.out);
        for (const int frame : options.frames) {
            char name[32];
            std::snprintf(name, sizeof name, "frame%06d.png", frame);
            const std::filesystem::path path = options.out / name;
            if (!cv::imwrite(path.string(), drawFrame(options, frame))) {
                throw std::runtime_error("cannot write " + path.string());
            }
            std::printf("wrote %s\n", path.string().c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "draw-frames: %s\n", e.what());
        return 1;
    }
    return 0;
}
