#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include <opencv2/imgcodecs.hpp>

#include "change_detection_scores.hpp"
#include "evaluated_range.hpp"
#include "tool_test_support.hpp"

namespace {

// One frame holding every label, with the mask's answer under each pixel:
//   row 0: GT 0 0 50 50 85 170 255 255, mask 0 255 0 7 255 255 255 0
//          -> TN FP TN FP (ignored) (ignored) TP FN
//   row 1: GT 255 255 255 0 0 0 0 0, mask 255 255 0 0 0 0 0 0, ROI off at
//          column 2 -> TP TP (ignored) TN TN TN TN TN
//   row 2: outside the ROI, every mask pixel wrong -> all ignored
// Totals: TP 3, FP 2, FN 1, TN 7.
cv::Mat labelledGroundTruth() {
    return (cv::Mat_<uint8_t>(3, 8) << 0, 0, 50, 50, 85, 170, 255, 255,  //
            255, 255, 255, 0, 0, 0, 0, 0,                                //
            255, 0, 50, 255, 0, 255, 0, 0);
}

cv::Mat answeringMask() {
    return (cv::Mat_<uint8_t>(3, 8) << 0, 255, 0, 7, 255, 255, 255, 0,  //
            255, 255, 0, 0, 0, 0, 0, 0,                                 //
            0, 255, 255, 0, 255, 0, 255, 255);
}

cv::Mat regionOfInterest() {
    cv::Mat roi(3, 8, CV_8UC1, cv::Scalar(255));
    roi.at<uint8_t>(1, 2) = 0;
    roi.row(2).setTo(0);
    return roi;
}

TEST(ChangeDetectionScoresTest, CountsEachLabelAndSkipsIgnoredPixels) {
    ConfusionCounts counts;
    addFrame(answeringMask(), labelledGroundTruth(), regionOfInterest(), counts);
    EXPECT_EQ(counts.truePositives, 3u);
    EXPECT_EQ(counts.falsePositives, 2u);
    EXPECT_EQ(counts.falseNegatives, 1u);
    EXPECT_EQ(counts.trueNegatives, 7u);
    // GT 50 under mask 7 in row 0; the one in row 2 is outside the ROI.
    EXPECT_EQ(counts.shadowErrors, 1u);
}

TEST(ChangeDetectionScoresTest, MeasuresFollowTheChangeDetectionDefinitions) {
    const ChangeDetectionMeasures m = measuresOf({3, 2, 1, 7});
    EXPECT_DOUBLE_EQ(m.recall, 0.75);
    EXPECT_DOUBLE_EQ(m.specificity, 7.0 / 9.0);
    EXPECT_DOUBLE_EQ(m.falsePositiveRate, 2.0 / 9.0);
    EXPECT_DOUBLE_EQ(m.falseNegativeRate, 0.25);
    EXPECT_DOUBLE_EQ(m.percentWrong, 300.0 / 13.0);
    EXPECT_DOUBLE_EQ(m.precision, 0.6);
    EXPECT_NEAR(m.fMeasure, 2.0 / 3.0, 1e-12);
}

TEST(ChangeDetectionScoresTest, ZeroDenominatorsAreUndefinedAndSkippedInAverages) {
    // Nothing detected and nothing to detect: precision and recall undefined.
    const ChangeDetectionMeasures empty = measuresOf({0, 0, 0, 10});
    EXPECT_TRUE(std::isnan(empty.recall));
    EXPECT_TRUE(std::isnan(empty.precision));
    EXPECT_TRUE(std::isnan(empty.fMeasure));
    EXPECT_DOUBLE_EQ(empty.specificity, 1.0);

    const ChangeDetectionMeasures perfect = measuresOf({5, 0, 0, 5});
    const ChangeDetectionMeasures half = measuresOf({1, 1, 1, 1});
    const ChangeDetectionMeasures mean = averageOf({perfect, half, empty});
    EXPECT_DOUBLE_EQ(mean.fMeasure, 0.75);
    EXPECT_DOUBLE_EQ(mean.specificity, (1.0 + 0.5 + 1.0) / 3.0);
}

const cv::Mat kAllMoving(3, 8, CV_8UC1, cv::Scalar(255));
const cv::Mat kAllStatic(3, 8, CV_8UC1, cv::Scalar(0));

// A sequence on disk: frames 1..4 exist, temporalROI.txt says 2..3. Frame 2 is
// labelledGroundTruth(), frame 3 all moving (15 ROI pixels).
void writeSequence(const std::filesystem::path& sequence) {
    std::filesystem::create_directories(sequence / "groundtruth");
    std::ofstream(dadimero::SequenceDirectory(sequence).temporalRange()) << "2 3\n";
    cv::imwrite(dadimero::SequenceDirectory(sequence).regionOfInterest().string(),
                regionOfInterest());
    for (const int outside : {1, 4})
        cv::imwrite(dadimero::SequenceDirectory(sequence).groundTruth(outside).string(),
                    kAllStatic);
    cv::imwrite(dadimero::SequenceDirectory(sequence).groundTruth(2).string(),
                labelledGroundTruth());
    cv::imwrite(dadimero::SequenceDirectory(sequence).groundTruth(3).string(), kAllMoving);
}

// Masks for frames 1..4; frames outside the range would add false positives
// if counted.
void writeMasks(const std::filesystem::path& masks, const cv::Mat& frame2, const cv::Mat& frame3) {
    std::filesystem::create_directories(masks);
    for (const int outside : {1, 4})
        cv::imwrite(dadimero::maskPath(masks, outside).string(), kAllMoving);
    cv::imwrite(dadimero::maskPath(masks, 2).string(), frame2);
    cv::imwrite(dadimero::maskPath(masks, 3).string(), frame3);
}

class EvaluateMasksCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sequence = dir.path() / "seq";
        masks = dir.path() / "masks";
        writeSequence(sequence);
        writeMasks(masks, answeringMask(), kAllMoving);
    }

    CommandResult evaluate(const std::vector<std::string>& arguments) {
        return runProgram(EVALUATE_MASKS_EXE, arguments, dir.path());
    }

    TemporaryDirectory dir;
    std::filesystem::path sequence;
    std::filesystem::path masks;
};

// Reads the number after "key": in the JSON text, starting at `from`.
double jsonValue(const std::string& json, const std::string& key, size_t from = 0) {
    const size_t at = json.find("\"" + key + "\": ", from);
    if (at == std::string::npos) return std::nan("");
    return std::stod(json.substr(at + key.size() + 4));
}

TEST_F(EvaluateMasksCommandTest, ScoresOnlyTheTemporalRangeInsideTheRegionOfInterest) {
    const CommandResult r = evaluate({sequence.string(), masks.string(), "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(jsonValue(r.out, "frames"), 2);
    EXPECT_EQ(jsonValue(r.out, "TP"), 3 + 15);
    EXPECT_EQ(jsonValue(r.out, "FP"), 2);
    EXPECT_EQ(jsonValue(r.out, "FN"), 1);
    EXPECT_EQ(jsonValue(r.out, "TN"), 7);
    EXPECT_NEAR(jsonValue(r.out, "Recall"), 18.0 / 19.0, 1e-6);
    EXPECT_NEAR(jsonValue(r.out, "Precision"), 18.0 / 20.0, 1e-6);
    EXPECT_NEAR(jsonValue(r.out, "PWC"), 300.0 / 28.0, 1e-6);

    const CommandResult table = evaluate({sequence.string(), masks.string()});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_NE(table.out.find("Recall"), std::string::npos);
    EXPECT_NE(table.out.find(" 0.9474 "), std::string::npos) << table.out;  // recall 18/19
}

TEST_F(EvaluateMasksCommandTest, AveragesPerSequenceMeasuresNotPooledCounts) {
    // Second mask folder: perfect on frame 2, nothing detected on frame 3.
    const std::filesystem::path other = dir.path() / "other";
    writeMasks(other, labelledGroundTruth() == 255, kAllStatic);
    const CommandResult r =
        evaluate({sequence.string(), masks.string(), sequence.string(), other.string(), "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Other: TP 4, FP 0, FN 15, TN 9. Pooled precision would be 22 / 24.
    const size_t second = r.out.find("\"masks\": \"" + other.string());
    ASSERT_NE(second, std::string::npos);
    const double secondRecall = jsonValue(r.out, "Recall", second);
    EXPECT_NEAR(secondRecall, 4.0 / 19.0, 1e-6);
    const size_t average = r.out.find("\"average\"");
    EXPECT_NEAR(jsonValue(r.out, "Recall", average), (18.0 / 19.0 + 4.0 / 19.0) / 2, 1e-6);
    EXPECT_NEAR(jsonValue(r.out, "Precision", average), (0.9 + 1.0) / 2, 1e-6);
}

TEST_F(EvaluateMasksCommandTest, MissingOrBrokenFilesAreErrorsNamingTheFile) {
    const std::filesystem::path missingMask = dadimero::maskPath(masks, 3);
    std::filesystem::remove(missingMask);
    CommandResult r = evaluate({sequence.string(), masks.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(missingMask.string()), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    std::ofstream(missingMask) << "not a png";
    r = evaluate({sequence.string(), masks.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot read mask " + missingMask.string()), std::string::npos) << r.err;

    cv::imwrite(missingMask.string(), cv::Mat::zeros(3, 8, CV_8UC1));
    const std::filesystem::path missingTruth = dadimero::SequenceDirectory(sequence).groundTruth(2);
    std::filesystem::remove(missingTruth);
    r = evaluate({sequence.string(), masks.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(missingTruth.string()), std::string::npos) << r.err;

    EXPECT_EQ(evaluate({sequence.string()}).exitCode, 2);
    EXPECT_EQ(evaluate({sequence.string(), masks.string(), "--bogus"}).exitCode, 2);
}

TEST_F(EvaluateMasksCommandTest, WronglySizedMaskIsAnError) {
    cv::imwrite(dadimero::maskPath(masks, 2).string(), cv::Mat::zeros(4, 8, CV_8UC1));
    const CommandResult r = evaluate({sequence.string(), masks.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(dadimero::maskPath(masks, 2).string()), std::string::npos) << r.err;
}

TEST_F(EvaluateMasksCommandTest, BitDepthsOtherThanEightAreReadOrRefusedNeverScoredAsZeros) {
    // 16-bit masks and ROI: nonzero is detected (and inside), as at 8 bits.
    cv::Mat wide;
    answeringMask().convertTo(wide, CV_16U);
    cv::imwrite(dadimero::maskPath(masks, 2).string(), wide);
    cv::imwrite(dadimero::maskPath(masks, 3).string(), cv::Mat(3, 8, CV_16UC1, cv::Scalar(255)));
    regionOfInterest().convertTo(wide, CV_16U);
    cv::imwrite((sequence / "roi16.png").string(), wide);
    std::filesystem::rename(sequence / "roi16.png",
                            dadimero::SequenceDirectory(sequence).regionOfInterest());
    CommandResult r = evaluate({sequence.string(), masks.string(), "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(jsonValue(r.out, "TP"), 3 + 15);
    EXPECT_EQ(jsonValue(r.out, "FP"), 2);
    EXPECT_EQ(jsonValue(r.out, "TN"), 7);

    // Ground truth at 16 bits, or holding values that are no label, is refused.
    const std::filesystem::path truth = dadimero::SequenceDirectory(sequence).groundTruth(3);
    cv::imwrite(truth.string(), cv::Mat(3, 8, CV_16UC1, cv::Scalar(255)));
    r = evaluate({sequence.string(), masks.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "evaluate-masks: " + truth.string() +
                         " is not 8-bit; ground truth labels are 8-bit (0, 50, 85, 170, 255)\n");
    cv::Mat binary = (labelledGroundTruth() == 255) / 255;
    binary.at<uint8_t>(0, 0) = 7;
    cv::imwrite(truth.string(), binary);
    r = evaluate({sequence.string(), masks.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "evaluate-masks: " + truth.string() +
                         " holds 1, 7, not ground truth labels (0, 50, 85, 170, 255)\n");
    EXPECT_EQ(r.out, "");
}

// catA holds v1 (the fixture's answers: TP 18, FP 2, FN 1, TN 7, one of the FP
// on shadow) and v2 (TP 4, FN 15, TN 9); "solo", directly under the root, is
// its own category and detects nothing (FN 19, TN 9: precision undefined).
// Overall recall is (mean(v1, v2) + solo) / 2 = 11/38, not the mean of the
// three videos; solo's undefined precision is left out of the overall mean.
TEST(EvaluateMasksDatasetTest, MeansVideosPerCategoryThenCategoriesAndWritesEveryReport) {
    TemporaryDirectory dir;
    const std::filesystem::path data = dir.path() / "data";
    const std::filesystem::path results = dir.path() / "results";
    writeSequence(data / "solo");
    writeSequence(data / "catA" / "v2");
    writeSequence(data / "catA" / "v1");
    std::filesystem::create_directories(data / "catA" / "notes");  // no groundtruth/: not a video
    writeMasks(results / "catA" / "v1", answeringMask(), kAllMoving);
    writeMasks(results / "catA" / "v2", labelledGroundTruth() == 255, kAllStatic);
    writeMasks(results / "solo", kAllStatic, kAllStatic);

    const std::string expectedJson =
        "{\"videos\": [\n"
        "  {\"category\": \"catA\", \"video\": \"v1\", \"TP\": 18, \"FP\": 2, \"FN\": 1, \"TN\": "
        "7, "
        "\"Recall\": 0.947368, \"Specificity\": 0.777778, \"FPR\": 0.222222, \"FNR\": 0.052632, "
        "\"PWC\": 10.714286, \"Precision\": 0.900000, \"FMeasure\": 0.923077, \"ShadowErrors\": "
        "1},\n"
        "  {\"category\": \"catA\", \"video\": \"v2\", \"TP\": 4, \"FP\": 0, \"FN\": 15, \"TN\": "
        "9, "
        "\"Recall\": 0.210526, \"Specificity\": 1.000000, \"FPR\": 0.000000, \"FNR\": 0.789474, "
        "\"PWC\": 53.571429, \"Precision\": 1.000000, \"FMeasure\": 0.347826, \"ShadowErrors\": "
        "0},\n"
        "  {\"category\": \"solo\", \"video\": \"solo\", \"TP\": 0, \"FP\": 0, \"FN\": 19, \"TN\": "
        "9, \"Recall\": 0.000000, \"Specificity\": 1.000000, \"FPR\": 0.000000, \"FNR\": 1.000000, "
        "\"PWC\": 67.857143, \"Precision\": null, \"FMeasure\": null, \"ShadowErrors\": 0}\n"
        "],\n"
        "\"categories\": [\n"
        "  {\"category\": \"catA\", \"videos\": 2, \"Recall\": 0.578947, \"Specificity\": "
        "0.888889, "
        "\"FPR\": 0.111111, \"FNR\": 0.421053, \"PWC\": 32.142857, \"Precision\": 0.950000, "
        "\"FMeasure\": 0.635452},\n"
        "  {\"category\": \"solo\", \"videos\": 1, \"Recall\": 0.000000, \"Specificity\": "
        "1.000000, "
        "\"FPR\": 0.000000, \"FNR\": 1.000000, \"PWC\": 67.857143, \"Precision\": null, "
        "\"FMeasure\": null}\n"
        "],\n"
        "\"overall\": {\"categories\": 2, \"Recall\": 0.289474, \"Specificity\": 0.944444, "
        "\"FPR\": "
        "0.055556, \"FNR\": 0.710526, \"PWC\": 50.000000, \"Precision\": 0.950000, \"FMeasure\": "
        "0.635452}}\n";

    const std::filesystem::path csv = dir.path() / "frames.csv";
    const CommandResult json = runProgram(
        EVALUATE_MASKS_EXE,
        {"--dataset", data.string(), results.string(), "--json", "--per-frame", csv.string()},
        dir.path());
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, expectedJson);
    EXPECT_EQ(readFileBytes(results / "scores.json"), expectedJson);
    EXPECT_EQ(readFileBytes(csv),
              "category,video,frame,TP,FP,FN,TN\n"
              "catA,v1,2,3,2,1,7\n"
              "catA,v1,3,15,0,0,0\n"
              "catA,v2,2,4,0,0,9\n"
              "catA,v2,3,0,0,15,0\n"
              "solo,solo,2,0,0,4,9\n"
              "solo,solo,3,0,0,15,0\n");

    // The tables go to the terminal and, byte for byte, to scores.txt in --out.
    const std::filesystem::path out = dir.path() / "scores";
    const CommandResult table = runProgram(
        EVALUATE_MASKS_EXE, {"--dataset", data.string(), results.string(), "--out", out.string()},
        dir.path());
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(readFileBytes(out / "scores.txt"), table.out);
    EXPECT_EQ(readFileBytes(out / "scores.json"), expectedJson);
    EXPECT_NE(table.out.find("\ncatA      v2  "), std::string::npos) << table.out;
    EXPECT_NE(
        table.out.find("\nsolo           1   0.0000   1.0000   0.0000   1.0000  67.8571       "
                       "n/a      n/a\n"),
        std::string::npos)
        << table.out;
    EXPECT_NE(table.out.find(" 0.2895 "), std::string::npos) << table.out;  // overall recall

    // A video whose mask is missing is left out, named with the reason, and
    // the others are scored; the scores are replaced.
    const std::filesystem::path missingMask = dadimero::maskPath(results / "catA" / "v2", 3);
    std::filesystem::remove(missingMask);
    const CommandResult missing =
        runProgram(EVALUATE_MASKS_EXE, {"--dataset", data.string(), results.string()}, dir.path());
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err,
              "evaluate-masks: left out catA/v2: missing mask " + missingMask.string() + "\n");
    EXPECT_NE(missing.out.find("\ncatA      v2     left out: missing mask " + missingMask.string() +
                               "\n"),
              std::string::npos)
        << missing.out;
    const std::string partial = readFileBytes(results / "scores.json");
    EXPECT_NE(partial.find("{\"category\": \"catA\", \"video\": \"v2\", \"LeftOut\": "
                           "\"missing mask " +
                           missingMask.string() + "\"}"),
              std::string::npos)
        << partial;
    // catA's mean is v1's alone; the overall mean of catA and solo follows.
    EXPECT_NE(partial.find("{\"category\": \"catA\", \"videos\": 1, \"Recall\": 0.947368, "),
              std::string::npos)
        << partial;
    EXPECT_NEAR(jsonValue(partial, "Recall", partial.find("\"overall\"")), 18.0 / 19.0 / 2, 1e-6);
}

// Sets or clears a file's immutable attribute (root, on file systems that have
// it); false when it cannot.
bool setImmutable(const std::filesystem::path& path, bool immutable) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    int flags = 0;
    bool done = ioctl(file, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ioctl(file, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(file);
    return done;
}

// The names in `dir` that start with a dot: temporary files left behind.
std::vector<std::string> hiddenFiles(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.front() == '.') names.push_back(name);
    }
    return names;
}

// When scores.json cannot be replaced, scores.txt keeps the previous scores
// too: a directory in its place is found before anything is renamed, an
// immutable file only when its rename fails, after scores.txt's.
TEST(EvaluateMasksDatasetTest, ScoresAreReplacedTogetherOrNotAtAll) {
    TemporaryDirectory dir;
    const std::filesystem::path data = dir.path() / "data";
    const std::filesystem::path results = dir.path() / "results";
    writeSequence(data / "cat" / "v1");
    writeMasks(results / "cat" / "v1", answeringMask(), kAllMoving);
    const std::vector<std::string> arguments = {"--dataset", data.string(), results.string()};
    ASSERT_EQ(runProgram(EVALUATE_MASKS_EXE, arguments, dir.path()).exitCode, 0);
    const std::filesystem::path text = results / "scores.txt";
    const std::filesystem::path json = results / "scores.json";
    const std::string oldText = readFileBytes(text);
    const std::string oldJson = readFileBytes(json);
    writeMasks(results / "cat" / "v1", kAllStatic, kAllStatic);  // new scores

    std::filesystem::remove(json);
    std::filesystem::create_directory(json);
    CommandResult r = runProgram(EVALUATE_MASKS_EXE, arguments, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "evaluate-masks: cannot write " + json.string() + "\n");
    EXPECT_EQ(readFileBytes(text), oldText);
    EXPECT_TRUE(hiddenFiles(results).empty());

    std::filesystem::remove(json);
    std::ofstream(json, std::ios::binary) << oldJson;
    if (!setImmutable(json, true)) GTEST_SKIP() << "no immutable files here";
    r = runProgram(EVALUATE_MASKS_EXE, arguments, dir.path());
    setImmutable(json, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "evaluate-masks: cannot write " + json.string() + "\n");
    EXPECT_EQ(readFileBytes(text), oldText);
    EXPECT_EQ(readFileBytes(json), oldJson);
    EXPECT_TRUE(hiddenFiles(results).empty());
}

// Links to a video, to a category and to a directory above are followed, the
// last only until it closes a loop; a range without frames and a damaged mask
// leave their video out, never the others.
TEST(EvaluateMasksDatasetTest, FollowsLinksAndLeavesOutWhatItCannotScore) {
    TemporaryDirectory dir;
    const std::filesystem::path data = dir.path() / "data";
    const std::filesystem::path results = dir.path() / "results";
    const std::filesystem::path elsewhere = dir.path() / "elsewhere";
    writeSequence(data / "catA" / "v1");
    writeSequence(data / "catA" / "empty");
    std::ofstream(dadimero::SequenceDirectory(data / "catA" / "empty").temporalRange()) << "3 2\n";
    writeSequence(elsewhere / "linkedVideo");
    writeSequence(elsewhere / "category" / "v3");
    std::filesystem::create_directory_symlink(elsewhere / "linkedVideo", data / "catA" / "linked");
    std::filesystem::create_directory_symlink(elsewhere / "category", data / "catB");
    std::filesystem::create_directory_symlink(".", data / "catB" / "loop");
    std::filesystem::create_directory_symlink("..", data / "catA" / "loop");
    for (const char* video : {"catA/v1", "catA/empty", "catA/linked", "catB/v3"})
        writeMasks(results / video, answeringMask(), kAllMoving);

    const CommandResult scored = runProgram(
        EVALUATE_MASKS_EXE, {"--dataset", data.string(), results.string(), "--json"}, dir.path());
    EXPECT_EQ(scored.exitCode, 4) << scored.err;
    EXPECT_EQ(scored.err,
              "evaluate-masks: left out catA/empty: no frames in range 3..2 (" +
                  dadimero::SequenceDirectory(data / "catA" / "empty").temporalRange().string() +
                  ")\n");
    for (const char* video : {"\"v1\"", "\"linked\"", "\"v3\""}) {
        const size_t row = scored.out.find(std::string("\"video\": ") + video);
        ASSERT_NE(row, std::string::npos) << video << scored.out;
        EXPECT_EQ(jsonValue(scored.out, "TP", row), 18) << video;
    }
    EXPECT_EQ(scored.out.find("loop"), std::string::npos) << scored.out;
    EXPECT_NE(scored.out.find("\"overall\": {\"categories\": 2, "), std::string::npos);

    // A mask damaged between its header and its end: that video alone is left
    // out, and the exit code says so.
    const std::filesystem::path damaged = dadimero::maskPath(results / "catB" / "v3", 2);
    std::string bytes = readFileBytes(damaged);
    for (size_t i = 40; i + 20 < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
    std::ofstream(damaged, std::ios::binary) << bytes;
    const CommandResult leftOut = runProgram(
        EVALUATE_MASKS_EXE, {"--dataset", data.string(), results.string(), "--json"}, dir.path());
    EXPECT_EQ(leftOut.exitCode, 3) << leftOut.err;
    EXPECT_NE(leftOut.out.find("\"video\": \"v3\", \"LeftOut\": \"cannot read mask " +
                               damaged.string() + "\""),
              std::string::npos)
        << leftOut.out;
    EXPECT_NE(leftOut.out.find("\"overall\": {\"categories\": 1, "), std::string::npos);

    // --videos names the videos and the frames to score; the rest is left alone.
    const std::filesystem::path list = dir.path() / "videos.txt";
    std::ofstream(list) << "3 3 catA/linked\n2 1 catA/v1\n";
    const CommandResult listed =
        runProgram(EVALUATE_MASKS_EXE,
                   {"--dataset", data.string(), results.string(), "--json", "--videos",
                    list.string(), "--out", (dir.path() / "listed").string()},
                   dir.path());
    EXPECT_EQ(listed.exitCode, 4) << listed.err;
    EXPECT_EQ(listed.out.find("\"v3\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"video\": \"v1\", \"LeftOut\": \"no frames in range 2..1\"}"),
              std::string::npos)
        << listed.out;
    EXPECT_EQ(jsonValue(listed.out, "TP", listed.out.find("\"linked\"")), 15);  // frame 3 alone
}

}  // namespace
