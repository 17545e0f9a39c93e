// Scores folders of masks against sequences' ground truth.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "image_files.hpp"

#include "cli_arguments.hpp"
#include "dataset_report.hpp"
#include "dataset_scoring.hpp"
#include "score_report.hpp"
#include "sequence_scoring.hpp"
#include "text_file.hpp"

namespace {

const char* const kUsage =
    "Usage: evaluate-masks SEQDIR MASKDIR [SEQDIR MASKDIR ...] [--json]\n"
    "       evaluate-masks --dataset DATASET_ROOT RESULTS_ROOT [--json] [--out DIR]\n"
    "                      [--per-frame FILE.csv] [--videos FILE]\n"
    "Scores bin%06d.png in each MASKDIR against SEQDIR/groundtruth/gt%06d.png over\n"
    "the frames of SEQDIR/temporalROI.txt, inside SEQDIR/ROI.bmp.\n"
    "GT 255 is positive, GT 0 and 50 negative, GT 85 and 170 are ignored; GT is\n"
    "8-bit and holds these labels only. A mask pixel, at any bit depth, is positive\n"
    "when nonzero. Prints TP FP FN TN Recall Specificity FPR FNR\n"
    "PWC Precision F-measure per sequence and, for several, the average of the\n"
    "per-sequence measures. A measure with a zero denominator shows n/a (null).\n"
    "A missing or unreadable mask or GT frame, GT of another bit depth or value, or\n"
    "a range without frames, is an error (exit 1).\n"
    "\n"
    "With --dataset, every directory under DATASET_ROOT that holds groundtruth/ is\n"
    "a video, scored against the masks at the same relative path under\n"
    "RESULTS_ROOT; links to directories are followed, except in a loop. Its\n"
    "category is the first directory below DATASET_ROOT (a video directly under\n"
    "the root is its own category). Prints the measures per video, with\n"
    "ShadowErrors (detected pixels on GT 50), the mean of each category's videos,\n"
    "and overall the mean of the category means. A measure with a zero\n"
    "denominator is n/a (null) and left out of every mean. A video that cannot be\n"
    "scored (a missing or damaged file, no frames in its range) is named with the\n"
    "reason in place of its scores and left out of every mean; the others are\n"
    "scored. Writes the tables to scores.txt and the JSON to scores.json in DIR,\n"
    "replacing the previous ones only once both are complete.\n"
    "\n"
    "  --json                print JSON instead of tables\n"
    "  --dataset ROOT        score a whole dataset (see above)\n"
    "  --out DIR             with --dataset: where scores.txt and scores.json go\n"
    "                        (default: RESULTS_ROOT; created if needed)\n"
    "  --per-frame FILE.csv  with --dataset: also write the counts of every frame,\n"
    "                        header category,video,frame,TP,FP,FN,TN\n"
    "  --videos FILE         with --dataset: score only the videos FILE names, one a\n"
    "                        line \"FIRST LAST PATH\": the frames to score, then the\n"
    "                        path below DATASET_ROOT (\".\" for the root itself)\n"
    "  -h, --help            show this text\n"
    "\n"
    "Exit codes: 0 every sequence or video scored; 1 an error, nothing written;\n"
    "2 a bad command line; with --dataset, 3 a video could not be scored, 4 every\n"
    "video scored but those with no frames in their range.\n";

struct Options {
    bool json = false;
    bool wholeDataset = false;  // otherwise pairs of SEQDIR MASKDIR
    std::filesystem::path dataset;
    std::filesystem::path out;
    std::filesystem::path perFrame;
    std::filesystem::path videoList;
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
        } else if (a == "--videos") {
            o.videoList = takeOptionValue(args, i);
        } else if (a.rfind("--", 0) == 0) {
            throw UsageError("unknown option '" + a + "' (see --help)");
        } else {
            o.paths.push_back(a);
        }
    }
    if (!o.wholeDataset) {
        if (!o.out.empty() || !o.perFrame.empty() || !o.videoList.empty()) {
            throw UsageError("--out, --per-frame and --videos need --dataset (see --help)");
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

// Exit codes of a dataset whose scores were written.
constexpr int kEveryVideoScored = 0;
constexpr int kVideoNotScored = 3;
constexpr int kVideoWithoutFrames = 4;

struct Report {
    std::string text;
    int exitCode = kEveryVideoScored;
};

Report scoreWholeDataset(const Options& o) {
    const std::filesystem::path results = o.paths[0];
    const std::vector<DatasetVideo> videos =
        o.videoList.empty() ? findDatasetVideos(o.dataset) : readVideoList(o.videoList, o.dataset);
    const DatasetScore dataset = scoreDataset(o.dataset, results, videos);
    const std::string table = datasetTable(dataset);
    const std::string json = datasetJson(dataset);
    const std::filesystem::path out = o.out.empty() ? results : o.out;
    std::error_code error;
    std::filesystem::create_directories(out, error);
    if (error) throw std::runtime_error("cannot create " + out.string());
    std::vector<std::pair<std::filesystem::path, std::string>> files = {
        {out / "scores.txt", table}, {out / "scores.json", json}};
    if (!o.perFrame.empty()) files.emplace_back(o.perFrame, perFrameCsv(dataset));
    replaceTextFiles(files);

    Report report{o.json ? json : table, kEveryVideoScored};
    for (const VideoScore& v : dataset.videos) {
        if (v.outcome == VideoOutcome::Scored) continue;
        const std::filesystem::path& where = v.video.relativePath;
        std::fprintf(stderr, "evaluate-masks: left out %s: %s\n",
                     where == "." ? v.video.video.c_str() : where.generic_string().c_str(),
                     v.leftOutBecause.c_str());
        if (v.outcome == VideoOutcome::NotScored) {
            report.exitCode = kVideoNotScored;
        } else if (report.exitCode != kVideoNotScored) {
            report.exitCode = kVideoWithoutFrames;
        }
    }
    return report;
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
    Report report;
    try {
        report = options.wholeDataset ? scoreWholeDataset(options)
                                      : Report{scorePairs(options), kEveryVideoScored};
    } catch (const std::exception& e) {
        std::fprintf(stderr, "evaluate-masks: %s\n", e.what());
        return 1;
    }
    std::fputs(report.text.c_str(), stdout);
    return report.exitCode;
}
