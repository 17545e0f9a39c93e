// Runs a dadimero::Subtractor over a sequence directory and writes the masks
// DADI-MERO would write: subtract-sequence SEQDIR OUTDIR [--colour-only]
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include <dadimero/dadimero.hpp>

namespace {

std::string numbered(const std::string& dir, const char* pattern, int frame) {
    char name[64];
    std::snprintf(name, sizeof name, pattern, frame);
    return dir + "/" + name;
}

cv::Mat read(const std::string& path, int flags) {
    cv::Mat image = cv::imread(path, flags);
    if (image.empty()) throw std::runtime_error("cannot read " + path);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: subtract-sequence SEQDIR OUTDIR [--colour-only]\n");
        return 2;
    }
    const std::string seq = argv[1];
    const std::string out = argv[2];
    const bool depth = !(argc > 3 && std::string(argv[3]) == "--colour-only");
    try {
        // The evaluated frames: calibration on the frames before the first.
        std::ifstream range(seq + "/temporalROI.txt");
        int from = 0;
        int to = 0;
        if (!(range >> from >> to)) throw std::runtime_error("no temporalROI.txt in " + seq);
        const int ini = 1;

        dadimero::Settings settings;
        settings.K = from - ini;
        const cv::Mat background = read(seq + "/CinitImageL.png", cv::IMREAD_COLOR);
        const cv::Mat roi = read(seq + "/ROI.bmp", cv::IMREAD_GRAYSCALE);
        cv::Mat depthBackground;
        if (depth) {
            // The largest depth of frames ini .. min(to, 100), a frame at a time.
            dadimero::InitialDepthBackground initial(roi);
            for (int f = ini; f <= std::min(to, 100); ++f)
                initial.add(read(numbered(seq, "depth/d%06d.png", f), cv::IMREAD_ANYDEPTH));
            depthBackground = initial.result();
        }

        dadimero::Subtractor subtractor(settings, background, depthBackground, roi);
        cv::Mat mask;
        for (int f = ini + 1; f <= to; ++f) {
            const cv::Mat colour = read(numbered(seq, "input/in%06d.png", f), cv::IMREAD_COLOR);
            // The calibration frames' masks are all background; DADI-MERO writes none.
            const bool online = !subtractor.calibrating();
            if (depth) {
                const cv::Mat d = read(numbered(seq, "depth/d%06d.png", f), cv::IMREAD_ANYDEPTH);
                subtractor.apply(colour, d, mask);
            } else {
                subtractor.apply(colour, mask);
            }
            if (online && !cv::imwrite(numbered(out, "bin%06d.png", f), mask)) {
                throw std::runtime_error("cannot write into " + out);
            }
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "subtract-sequence: %s\n", failure.what());
        return 1;
    }
    return 0;
}
