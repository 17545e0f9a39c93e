// Writes side-by-side pictures of chosen frames for people to look at.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "image_files.hpp"

#include "cli_arguments.hpp"
#include "error_panel.hpp"
#include "evaluated_range.hpp"
#include "frame_panels.hpp"

namespace {

const char* const kUsage =
    "Usage: draw-frames SEQDIR MASKDIR --frames LIST --out DIR [--overlay] [--scale N]\n"
    "Writes DIR/frame%06d.png for each chosen frame, panels side by side:\n"
    "  - the colour frame;\n"
    "  - the depth in false colour (blue near, red far, magenta = no depth), with\n"
    "    a colour bar from the nearest to the farthest measured value, in the\n"
    "    depth file's units;\n"
    "  - the mask MASKDIR/bin%06d.png;\n"
    "  - with --overlay, the mask tinted red on the frame and the ground truth's\n"
    "    moving regions outlined in green;\n"
    "  - when SEQDIR/groundtruth exists, the errors and the ground truth. The\n"
    "    errors panel colours the pixels the scores count, inside SEQDIR/ROI.bmp\n"
    "    (everywhere without it): green TP (GT 255, detected), red FP (GT 0 or 50,\n"
    "    detected; on GT 50 a shadow error), blue FN (GT 255, not detected),\n"
    "    yellow shadow (GT 50, not detected); the rest is the dimmed frame.\n"
    "A frame outside the range of SEQDIR/temporalROI.txt whose mask does not exist\n"
    "is drawn with its mask panels marked \"calibration\" (before the range) or\n"
    "\"after the range\". A missing mask inside the range is an error.\n"
    "\n"
    "  --frames LIST  frame numbers, e.g. 60,120 or 100-110\n"
    "  --out DIR      output directory (created if needed)\n"
    "  --overlay      add the overlay panel\n"
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

cv::Mat readRequiredImage(const std::filesystem::path& path, int flags, const char* what) {
    const cv::Mat image = dadimero::readImage(path.string(), flags);
    if (image.empty()) {
        const bool exists = std::filesystem::exists(path);
        throw std::runtime_error(std::string(exists ? "cannot read " : "missing ") + what + " " +
                                 path.string());
    }
    return image;
}

// What the sequence holds besides its frames, read once.
struct SequenceExtras {
    bool hasGroundTruth = false;
    std::optional<EvaluatedRange> range;  // absent without temporalROI.txt
    cv::Mat roi;                          // empty without ROI.bmp: every pixel
};

SequenceExtras readExtras(const std::filesystem::path& sequence) {
    SequenceExtras extras;
    extras.hasGroundTruth = std::filesystem::is_directory(sequence / "groundtruth");
    const dadimero::SequenceDirectory directory(sequence);
    if (std::filesystem::exists(directory.temporalRange())) {
        extras.range = readEvaluatedRange(sequence);
    }
    const std::filesystem::path roiPath = directory.regionOfInterest();
    if (std::filesystem::exists(roiPath)) {
        extras.roi = readRequiredImage(roiPath, cv::IMREAD_GRAYSCALE, "region of interest");
    }
    return extras;
}

// Why a frame has no mask, when that is no fault: it lies outside the range
// DADI-MERO writes masks for. Empty when its mask must exist.
std::string missingMaskReason(const SequenceExtras& extras, int frame) {
    if (!extras.range) return "";
    if (frame < extras.range->first) return "calibration";
    if (frame > extras.range->last) return "after the range";
    return "";
}

cv::Mat drawFrame(const Options& o, const SequenceExtras& extras, int frame) {
    const dadimero::SequenceDirectory sequence(o.sequence);
    const cv::Mat colour =
        readRequiredImage(sequence.colourFrameToRead(frame), cv::IMREAD_COLOR, "frame");
    const cv::Mat depth =
        readRequiredImage(sequence.depthFrame(frame), cv::IMREAD_ANYDEPTH, "depth");
    const std::filesystem::path binPath = dadimero::maskPath(o.masks, frame);
    const std::string noMask =
        std::filesystem::exists(binPath) ? "" : missingMaskReason(extras, frame);
    const cv::Mat mask =
        noMask.empty() ? readRequiredImage(binPath, cv::IMREAD_GRAYSCALE, "mask") : cv::Mat();
    const cv::Mat groundTruth =
        extras.hasGroundTruth
            ? readRequiredImage(sequence.groundTruth(frame), cv::IMREAD_GRAYSCALE, "ground truth")
            : cv::Mat();
    for (const cv::Mat* image : {&depth, &mask, &groundTruth, &extras.roi}) {
        if (!image->empty() && image->size() != colour.size()) {
            throw std::runtime_error("frame " + std::to_string(frame) +
                                     ": images of different sizes");
        }
    }
    const int scale = o.scale > 0 ? o.scale : std::clamp(240 / colour.cols, 1, 8);
    const int width = colour.cols * scale;
    // A panel drawn from the mask, or, without one, the dimmed frame marked so.
    auto maskPanel = [&](const std::string& caption, const auto& draw, const cv::Mat& key) {
        if (noMask.empty()) return captionedPanel(draw(), caption, scale, key);
        return captionedPanel(dimmedFrame(colour), caption + " (" + noMask + ")", scale,
                              textKey(width, noMask + ": no mask"));
    };
    std::vector<cv::Mat> panels;
    panels.push_back(captionedPanel(colour, "frame " + std::to_string(frame), scale));
    panels.push_back(captionedPanel(depthFalseColour(depth), "depth (magenta: none)", scale,
                                    depthKey(width, measuredDepthRange(depth))));
    panels.push_back(maskPanel(
        "mask", [&] { return mask; }, cv::Mat()));
    if (o.overlay) {
        panels.push_back(maskPanel(
            "mask red, GT green", [&] { return maskOverlay(colour, mask, groundTruth); },
            cv::Mat()));
    }
    if (extras.hasGroundTruth) {
        panels.push_back(maskPanel(
            "errors", [&] { return errorPicture(colour, mask, groundTruth, extras.roi); },
            errorKey(width)));
        panels.push_back(captionedPanel(groundTruth, "ground truth", scale));
    }
    return sideBySide(panels);
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
        std::fprintf(stderr, "draw-frames: %s\n", e.what());
        return 2;
    }
    dadimero::silenceImageLibraryLog();
    try {
        const SequenceExtras extras = readExtras(options.sequence);
        std::filesystem::create_directories(options.out);
        for (const int frame : options.frames) {
            char name[32];
            std::snprintf(name, sizeof name, "frame%06d.png", frame);
            const std::filesystem::path path = options.out / name;
            if (!dadimero::writePngFile(path.string(), drawFrame(options, extras, frame))) {
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
