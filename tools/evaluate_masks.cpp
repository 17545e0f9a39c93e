// Scores folders of masks against sequences' ground truth.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_arguments.hpp"
#include "dataset_report.hpp"
#include "dataset_scoring.hpp"
#include "files/image_files.hpp"
#include "score_report.hpp"
#include "sequence_scoring.hpp"
#include "text_file.hpp"

namespace {

const char* const kUsage =
    "Usage: evaluate-masks SEQDIR MASKDIR [SEQDIR MASKDIR ...] [--json]\n"
    "       evaluate-masks --dataset DATASET_ROOT RESULTS_ROOT [--json] [--out DIR]\n"
    "                      [--per-frame FILE.csv]\n"
    "Scores bin%06d.png in each MASKDIR against SEQDIR/groundtruth/gt%06d.png over\n"
    "the frames of SEQDIR/temporalROI.txt, inside SEQDIR/ROI.bmp.\n"
    "GT 255 is positive, GT 0 and 50 negative, GT 85 and 170 are ignored; a mask\n"
    "pixel is positive when nonzero. Prints TP FP FN TN Recall Specificity FPR FNR\n"
    "PWC Precision F-measure per sequence and, for several, the average of the\n"
    "per-sequence measures. A measure with a zero denominator shows n/a (null).\n"
    "A missing or unreadable mask or GT frame is an error (exit 1).\n"
    "\n"
    "With --dataset, every directory under DATASET_ROOT that holds groundtruth/ is\n"
    "a video, scored against the masks at the same relative path under\n"
    "RESULTS_ROOT. Its category is the first directory below DATASET_ROOT (a video\n"
    "directly under the root is its own category). Prints the measures per video,\n"
    "with ShadowErrors (detected pixels on GT 50), the mean of each category's\n"
    "videos, and overall the mean of the category means. A measure with a zero\n"
    "denominator is n/a (null) and left out of every mean. Writes the tables to\n"
    "scores.txt and the JSON to scores.json in DIR.\n"
    "\n"
    "  --json                print JSON instead of tables\n"
    "  --dataset ROOT        score a whole dataset (see above)\n"
    "  --out DIR             with --dataset: where scores.txt and scores.json go\n"
    "                        (default: RESULTS_ROOT; created if needed)\n"
    "  --per-frame FILE.csv  with --dataset: also write the counts of every frame,\n"
    "                        header category,video,frame,TP,FP,FN,TN\n"
    "  -h, --help            show this text\n";

struct Options {
    bool json = false;
    bool wholeDataset = false;  // otherwise pairs of SEQDIR MASKDIR
    std::filesystem::path dataset;
    std::filesystem::path out;
    std::filesystem::path perFrame;
    std::vector<std::string> paths;
};

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            o.json = true;
        } else if (a == "--dataset") {
            o.wholeDataset = true;
            o.dataset = takeOptionValue(args, i);
        } else if (a == "--out") {
            o.out = takeOptionValue(args, i);
        } else if (a == "--per-frame") {
            o.perFrame = takeOptionValue(args, i);
        } else if (a.rfind("--", 0) == 0) {
            throw UsageError("unknown option '" + a + "' (see --help)");
        } else {
            o.paths.push_back(a);
        }
    }
    if (!o.wholeDataset) {
        if (!o.out.empty() || !o.perFrame.empty()) {
            throw UsageError("--out and --per-frame need --dataset (see --help)");
        }
        if (o.paths.empty() || o.paths.size() % 2 != 0) {
            throw UsageError("needs pairs of SEQDIR MASKDIR (see --help)");
        }
    } else if (o.paths.size() != 1) {
        throw UsageError("--dataset DATASET_ROOT needs one RESULTS_ROOT (see --help)");
    }
    return o;
}

std::string scorePairs(const Options& o) {
    std::vector<SequenceScore> scores;
    for (size_t i = 0; i < o.paths.size(); i += 2)
        scores.push_back(scoreSequence(o.paths[i], o.paths[i + 1]));
    return o.json ? scoreJson(scores) : scoreTable(scores);
}

std::string scoreWholeDataset(const Options& o) {
    const std::filesystem::path results = o.paths[0];
    const DatasetScore dataset = scoreDataset(o.dataset, results);
    const std::string table = datasetTable(dataset);
    const std::string json = datasetJson(dataset);
    const std::filesystem::path out = o.out.empty() ? results : o.out;
    std::error_code error;
    std::filesystem::create_directories(out, error);
    if (error) throw std::runtime_error("cannot create " + out.string());
    writeTextFile(out / "scores.txt", table);
    writeTextFile(out / "scores.json", json);
    if (!o.perFrame.empty()) writeTextFile(o.perFrame, perFrameCsv(dataset));
    return o.json ? json : table;
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
        std::fprintf(stderr, "evaluate-masks: %s\n", e.what());
        return 2;
    }
    dadimero::silenceImageLibraryLog();
    std::string report;
    try {
        report = options.wholeDataset ? scoreWholeDataset(options) : scorePairs(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "evaluate-masks: %s\n", e.what());
        return 1;
    }
    std::fputs(report.c_str(), stdout);
    return 0;
}
