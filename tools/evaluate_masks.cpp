// Scores folders of masks against sequences' ground truth.
#include <cstdio>
#include <string>
#include <vector>

#include "score_report.hpp"
#include "sequence_scoring.hpp"

namespace {

const char* const kUsage =
    "Usage: evaluate-masks SEQDIR MASKDIR [SEQDIR MASKDIR ...] [--json]\n"
    "Scores bin%06d.png in each MASKDIR against SEQDIR/groundtruth/gt%06d.png over\n"
    "the frames of SEQDIR/temporalROI.txt, inside SEQDIR/ROI.bmp.\n"
    "GT 255 is positive, GT 0 and 50 negative, GT 85 and 170 are ignored; a mask\n"
    "pixel is positive when nonzero. Prints TP FP FN TN Recall Specificity FPR FNR\n"
    "PWC Precision F-measure per sequence and, for several, the average of the\n"
    "per-sequence measures. A measure with a zero denominator shows n/a (null).\n"
    "A missing or unreadable mask or GT frame is an error (exit 1).\n"
    "\n"
    "  --json      print one JSON object instead of a table\n"
    "  -h, --help  show this text\n";

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--json") {
            json = true;
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "evaluate-masks: unknown option '%s' (see --help)\n", a.c_str());
            return 2;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty() || paths.size() % 2 != 0) {
        std::fputs("evaluate-masks: needs pairs of SEQDIR MASKDIR (see --help)\n", stderr);
        return 2;
    }
    std::vector<SequenceScore> scores;
    try {
        for (size_t i = 0; i < paths.size(); i += 2)
            scores.push_back(scoreSequence(paths[i], paths[i + 1]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "evaluate-masks: %s\n", e.what());
        return 1;
    }
    const std::string report = json ? scoreJson(scores) : scoreTable(scores);
    std::fputs(report.c_str(), stdout);
    return 0;
}
