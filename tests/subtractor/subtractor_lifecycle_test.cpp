// A subtractor's life as an OpenCV user leads it: started from frames alone,
// settings read, changed, saved and refused, its whole state saved and loaded
// to continue byte for byte, and restarted.
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/video/background_segm.hpp>

#include "dadimero/dadimero.hpp"
#include "dadimero/internal/program_access.hpp"
#include "files/sequence_layout.hpp"
#include "support/rich_sequence.hpp"
#include "support/sequence_fixture.hpp"
#include "support/test_sequence.hpp"

namespace {

// A rich sequence of `frames` frames with a partial region of interest, read back.
struct Video {
    explicit Video(const std::filesystem::path& dir, int frames) : dir(dir) {
        RichSequencePlan plan;
        plan.frames = frames;
        plan.partialRoi = true;
        writeRichSequence(dir, plan);
        background = read(dadimero::kColourBackgroundName, cv::IMREAD_COLOR);
        roi = read(dadimero::kRegionOfInterestName, cv::IMREAD_GRAYSCALE);
        for (int f = 1; f <= frames; ++f) {
            colour.push_back(read(dadimero::colourFrameName(f), cv::IMREAD_COLOR));
            depth.push_back(read(dadimero::depthFrameName(f), cv::IMREAD_ANYDEPTH));
        }
    }
    cv::Mat read(const std::string& name, int flags) const {
        return cv::imread((dir / name).string(), flags);
    }
    std::filesystem::path dir;
    cv::Mat background;
    cv::Mat roi;
    std::vector<cv::Mat> colour;  // [f - 1] is frame f
    std::vector<cv::Mat> depth;
};

bool same(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() &&
           (a.empty() || cv::norm(a, b, cv::NORM_INF) == 0.0);
}

// The final mask and the colour and depth label codes of every frame in [from, to].
std::vector<cv::Mat> feed(dadimero::Subtractor& subtractor, const Video& video, int from, int to) {
    std::vector<cv::Mat> outputs;
    for (int f = from; f <= to; ++f) {
        cv::Mat mask, colourCodes, depthCodes;
        subtractor.apply(video.colour[f - 1], video.depth[f - 1], mask);
        subtractor.getColourMask(colourCodes, true);
        subtractor.getDepthMask(depthCodes, true);
        outputs.insert(outputs.end(), {mask, colourCodes, depthCodes});
    }
    return outputs;
}

void expectSame(const std::vector<cv::Mat>& a, const std::vector<cv::Mat>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_TRUE(same(a[i], b[i])) << what << ", output " << i;
}

// The sentence of the cv::Exception `call` throws; "" when it throws none.
std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const cv::Exception& e) {
        return e.err;
    }
    return "";
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFileText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

dadimero::Settings restartSettings(int threads) {
    dadimero::Settings settings;
    settings.K = 5;
    settings.shadowValue = 127;
    settings.threads = threads;
    return settings;
}

}  // namespace

TEST(SubtractorLifecycleTest, SavedAfterFiftyFramesAndLoadedContinuesByteForByte) {
    const TempDir dir;
    Video video(dir / "seq", 100);
    // Foreground in the four corners from frame 40 on, in colour and depth: the
    // 5 x 5 filter leaves pixels near the corners as earlier frames left them.
    for (int f = 40; f <= 100; ++f) {
        cv::Mat& frame = video.colour[f - 1];
        const cv::Scalar colour((f * 37) % 256, (f * 91) % 256, 255);
        for (const cv::Point corner :
             {cv::Point(0, 0), cv::Point(frame.cols - 2, 0), cv::Point(0, frame.rows - 2),
              cv::Point(frame.cols - 2, frame.rows - 2)}) {
            if (f % 3 == 0) continue;
            frame(cv::Rect(corner, cv::Size(2, 2))).setTo(colour);
            video.depth[f - 1](cv::Rect(corner, cv::Size(2, 2))).setTo(1000);  // nearer
        }
    }
    struct Case {
        int threads;
        int savedAfter;  // 3: while calibrating (K = 5)
        bool partialRoi;
    };
    for (const Case& c : {Case{1, 50, true}, Case{2, 50, false}, Case{1, 3, false}}) {
        const std::string name = std::to_string(c.threads) + " threads, saved after frame " +
                                 std::to_string(c.savedAfter) +
                                 (c.partialRoi ? ", partial region" : "");
        const cv::Mat roi = c.partialRoi ? video.roi : cv::Mat();
        const cv::Mat depthBackground = dadimero::initialDepthBackground(video.depth, roi);
        const dadimero::Settings settings = restartSettings(c.threads);
        dadimero::Subtractor whole(settings, video.background, depthBackground, roi);
        feed(whole, video, 2, c.savedAfter);
        const std::vector<cv::Mat> expected = feed(whole, video, c.savedAfter + 1, 100);
        int shadows = 0;
        for (size_t i = 0; i < expected.size(); i += 3)
            if (!expected[i].empty()) shadows += cv::countNonZero(expected[i] == 127);
        EXPECT_GT(shadows, 0) << name;

        dadimero::Subtractor first(settings, video.background, depthBackground, roi);
        feed(first, video, 2, c.savedAfter);
        const std::string path = (dir / "checkpoint.state").string();
        first.saveState(path);
        // Loaded into a subtractor from settings alone with the other thread count.
        cv::Ptr<dadimero::Subtractor> second =
            dadimero::createSubtractor(restartSettings(3 - c.threads));
        second->loadState(path);
        EXPECT_EQ(second->getThreads(), 3 - c.threads);
        EXPECT_EQ(second->getShadowValue(), 127);
        EXPECT_TRUE(second->usesDepth());
        expectSame(feed(*second, video, c.savedAfter + 1, 100), expected, name.c_str());
        cv::Mat a, b;
        whole.getDepthModelImage(a);
        second->getDepthModelImage(b);
        EXPECT_TRUE(same(a, b)) << name;
        // clear() goes back to the saved subtractor's backgrounds.
        second->clear();
        dadimero::Subtractor fresh(settings, video.background, depthBackground, roi);
        expectSame(feed(*second, video, 2, 12), feed(fresh, video, 2, 12), "after clear()");
    }
}

// A live loop started from frames alone gives the program's masks for the
// backgrounds the subtractor chose: the first frame's colour and depth.
TEST_F(SequenceFixture, FromFramesAloneTheCameraLoopGivesTheProgramsMasks) {
    const Video video(seq(), 30);
    // The program's depth background is the largest depth of frames 1 .. 30 and
    // its colour background CinitImageL.png: frame 1 takes both.
    const cv::Mat largest = dadimero::initialDepthBackground(video.depth);
    cv::imwrite((seq() / dadimero::depthFrameName(1)).string(), largest);
    cv::imwrite((seq() / dadimero::kColourBackgroundName).string(), video.colour[0]);
    const cv::Mat firstDepth = video.read(dadimero::depthFrameName(1), cv::IMREAD_ANYDEPTH);

    dadimero::Settings settings;
    settings.K = 5;  // the sequence's temporalROI.txt starts at 6
    cv::Ptr<dadimero::Subtractor> live = dadimero::createSubtractor(settings, {}, {}, video.roi);
    std::vector<cv::Mat> masks;
    for (int f = 1; f <= 30; ++f) {
        EXPECT_EQ(live->calibrating(), f <= 5) << f;
        cv::Mat mask(1, 1, CV_8UC1);
        live->apply(video.colour[f - 1], f == 1 ? firstDepth : video.depth[f - 1], mask);
        masks.push_back(mask);
        if (f == 1) {  // inside the region, the model is the first frame
            cv::Mat background, inside, expected;
            live->getBackgroundImage(background);
            background.copyTo(inside, video.roi);
            video.colour[0].copyTo(expected, video.roi);
            EXPECT_TRUE(same(inside, expected));
        }
    }
    const ProgramRun run = this->run({"-threads", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    for (int f = 1; f <= 30; ++f) {
        if (f <= 5) {  // the first frame and calibration: all background
            EXPECT_TRUE(same(masks[f - 1], cv::Mat::zeros(video.roi.size(), CV_8UC1))) << f;
        } else {
            const cv::Mat programMask =
                cv::imread((out() / frameFile("bin", f)).string(), cv::IMREAD_UNCHANGED);
            EXPECT_TRUE(same(masks[f - 1], programMask)) << f;
        }
    }

    // A learning rate of 1 makes that frame the model, as OpenCV means it: the
    // next frame is detected against it, as by a subtractor built with it as
    // its backgrounds, without a calibration.
    cv::Mat mask;
    live->apply(video.colour[9], video.depth[9], mask, 1.0);
    EXPECT_EQ(cv::countNonZero(mask), 0);
    EXPECT_FALSE(live->calibrating());
    dadimero::Settings noCalibration = settings;
    noCalibration.K = 1;
    cv::Ptr<dadimero::Subtractor> restarted =
        dadimero::createSubtractor(noCalibration, video.colour[9], video.depth[9], video.roi);
    for (int f = 11; f <= 30; ++f) {
        cv::Mat a, b;
        live->apply(video.colour[f - 1], video.depth[f - 1], a);
        restarted->apply(video.colour[f - 1], video.depth[f - 1], b);
        EXPECT_TRUE(same(a, b)) << f;
    }
}

TEST(SubtractorLifecycleTest, SettingsGoThroughYamlAndMeaninglessOnesAreRefused) {
    const TempDir dir;
    SequencePlan plan;
    const cv::Mat background = sequenceBackground(plan);
    dadimero::Settings changed;
    changed.n = 5;
    changed.K = 7;
    changed.e1 = 0.125f;
    changed.e2 = 0.0123f;
    changed.e1D = 0.2f;
    changed.e2D = 0.001f;
    changed.c1 = 0.3f;
    changed.c2 = 0.01f;
    changed.Cw = 3;
    changed.shadowRemoval = false;
    changed.gamma = 0.5f;
    changed.beta = 0.9f;
    changed.tauS = 0.2f;
    changed.tauH = 20.0f;
    changed.shadowValue = 127;
    changed.threads = 2;
    const auto expectSettings = [&](const dadimero::Settings& s, const char* what) {
        EXPECT_TRUE(s.n == changed.n && s.K == changed.K && s.e1 == changed.e1 &&
                    s.e2 == changed.e2 && s.e1D == changed.e1D && s.e2D == changed.e2D &&
                    s.c1 == changed.c1 && s.c2 == changed.c2 && s.Cw == changed.Cw &&
                    s.shadowRemoval == changed.shadowRemoval && s.gamma == changed.gamma &&
                    s.beta == changed.beta && s.tauS == changed.tauS && s.tauH == changed.tauH &&
                    s.shadowValue == changed.shadowValue && s.threads == changed.threads)
            << what;
    };
    // Through the setters of a subtractor that has not started, save() under
    // its default name, and back by cv::Algorithm::load and by read().
    cv::Ptr<dadimero::Subtractor> source = dadimero::createSubtractor();
    source->setSettings(changed);
    source->setE2(0.0123f);
    const std::string path = (dir / "settings.yml").string();
    source->save(path);
    EXPECT_NE(fileText(path).find("dadimero_Subtractor:"), std::string::npos);
    expectSettings(cv::Algorithm::load<dadimero::Subtractor>(path)->getSettings(), "load");
    dadimero::Subtractor reader;
    reader.read(cv::FileStorage(path, cv::FileStorage::READ)["dadimero_Subtractor"]);
    expectSettings(reader.getSettings(), "read");
    // The library's own settings files, written whole, in the format the name says.
    const std::string json = (dir / "settings.json").string();
    source->saveSettings(json);
    EXPECT_EQ(fileText(json).substr(0, 1), "{");
    dadimero::Subtractor fromJson;
    fromJson.loadSettings(json);
    expectSettings(fromJson.getSettings(), "loadSettings");
    // Another algorithm's settings are refused, not taken for the defaults;
    // so is a NaN, by its name, and binary data OpenCV's reader could loop on.
    const std::string mog2 = (dir / "mog2.yml").string();
    cv::createBackgroundSubtractorMOG2()->save(mog2);
    EXPECT_EQ(errorOf([&] { cv::Algorithm::load<dadimero::Subtractor>(mog2); }),
              "these are the settings of BackgroundSubtractor.MOG2, not of dadimero_Subtractor");
    EXPECT_EQ(errorOf([&] { fromJson.loadSettings(mog2); }),
              "these are the settings of BackgroundSubtractor.MOG2, not of dadimero_Subtractor");
    writeFileText(dir / "nan.yml", "%YAML:1.0\ndadimero_Subtractor:\n  c1: .nan\n");
    EXPECT_EQ(errorOf([&] { fromJson.loadSettings((dir / "nan.yml").string()); }),
              "c1 must be a finite number, got nan");
    writeFileText(dir / "binary.yml", "%YAML:1.0\nK: !!binary |\n  AAAA\n");
    EXPECT_EQ(errorOf([&] { fromJson.loadSettings((dir / "binary.yml").string()); }),
              (dir / "binary.yml").string() + " is not a settings file: it holds binary data");
    expectSettings(fromJson.getSettings(), "after the refusals");

    // Each setting without meaning, refused by the constructor and by a setter,
    // with one sentence naming it; the command line's own rules still take it.
    dadimero::Subtractor running(dadimero::Settings(), background);
    const dadimero::Settings before = running.getSettings();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    using Change = std::function<void(dadimero::Settings&)>;
    const std::vector<std::tuple<Change, std::string, bool>> refused = {
        // change, sentence, whether the command line's rules take it
        {[](auto& s) { s.n = 4; }, "n must be 1, 3, 5, 7 or 9, got 4", false},
        // The command line takes threads below 1 for one per core.
        {[](auto& s) { s.threads = -1; }, "threads must be 0 or more, got -1", true},
        {[](auto& s) { s.K = 0; }, "K must be 1 or more, got 0", true},
        {[&](auto& s) { s.e1 = nan; }, "e1 must be a finite number, got nan", true},
        {[](auto& s) { s.e2 = -1.0f; }, "e2 must be 0 or more, got -1", true},
        {[&](auto& s) { s.e1D = inf; }, "e1D must be a finite number, got inf", true},
        {[](auto& s) { s.e2D = -0.5f; }, "e2D must be 0 or more, got -0.5", true},
        {[](auto& s) { s.c1 = -1.0f; }, "c1 must be between 0 and 1, got -1", true},
        {[](auto& s) { s.c2 = 5.0f; }, "c2 must be between 0 and 1, got 5", true},
        {[](auto& s) { s.Cw = 7; }, "Cw must be 3 or 5, got 7", true},
        {[](auto& s) { s.gamma = -0.25f; }, "gamma must be 0 or more, got -0.25", true},
        {[&](auto& s) { s.beta = nan; }, "beta must be a finite number, got nan", true},
        {[](auto& s) { s.gamma = 0.9f, s.beta = 0.8f; },
         "gamma must be at most beta (0.8), got 0.9", true},
        {[](auto& s) { s.tauS = -1.0f; }, "tauS must be 0 or more, got -1", true},
        {[&](auto& s) { s.tauH = -inf; }, "tauH must be a finite number, got -inf", true},
        {[](auto& s) { s.shadowValue = 255; }, "shadowValue must be between 0 and 254, got 255",
         true},
    };
    for (const auto& [change, sentence, programTakesIt] : refused) {
        dadimero::Settings bad;
        change(bad);
        EXPECT_EQ(errorOf([&] { dadimero::Subtractor(bad, background); }), sentence);
        EXPECT_EQ(errorOf([&] { running.setSettings(bad); }), sentence);
        dadimero::ProgramOptions commandLine;
        commandLine.settings = bad;
        commandLine.commandLineRules = true;
        EXPECT_EQ(
            errorOf([&] { dadimero::ProgramAccess::makeSubtractor(commandLine, background); }),
            programTakesIt ? "" : sentence);
    }
    EXPECT_EQ(errorOf([&] { running.setC2(1.5f); }), "c2 must be between 0 and 1, got 1.5");
    writeFileText(dir / "bad.yml", "%YAML:1.0\nsettings:\n  K: 3\n  c1: 2.0\n");
    EXPECT_EQ(errorOf([&] {
                  running.read(cv::FileStorage((dir / "bad.yml").string(),
                                               cv::FileStorage::READ)["settings"]);
              }),
              "c1 must be between 0 and 1, got 2");
    // n and threads fix a running model; the other settings change between frames.
    EXPECT_EQ(errorOf([&] { running.setSettings(changed); }),
              "n is 3 for this model and fixes its layout; it changes only before the first "
              "frame");
    const dadimero::Settings after = running.getSettings();
    EXPECT_TRUE(after.K == before.K && after.c1 == before.c1 && after.e1 == before.e1);
    cv::Mat mask;
    for (const double rate : {2.0, 1e6, static_cast<double>(nan)}) {
        EXPECT_NE(errorOf([&] { running.apply(background, mask, rate); }), "") << rate;
    }
    running.setK(3);
    EXPECT_TRUE(running.calibrating());
    running.setShadowRemoval(false);
    EXPECT_FALSE(running.getShadowRemoval());
}
