// State files as a checkpoint: they round-trip byte for byte, every damaged,
// truncated, crafted or foreign file is refused quickly and without large
// allocations, a crash or a full disk while saving leaves the previous state,
// and nothing but a regular file is read or replaced.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dadimero/dadimero.hpp"
#include "subtractor/subtractor_state.hpp"
#include "support/test_sequence.hpp"

namespace {

namespace fs = std::filesystem;

struct Frames {
    SequencePlan plan;
    cv::Mat background = sequenceBackground(plan);
    cv::Mat depthBackground = sequenceDepthFrame(plan, 1);
    cv::Mat roi = cv::Mat(plan.height, plan.width, CV_8UC1, cv::Scalar(255));
    Frames() { roi.rowRange(0, 2).setTo(0); }
    cv::Mat colour(int f) const { return sequenceColourFrame(plan, f); }
    cv::Mat depth(int f) const { return sequenceDepthFrame(plan, f); }
};

dadimero::Settings stateSettings() {
    dadimero::Settings settings;
    settings.K = 4;
    settings.shadowValue = 127;
    settings.threads = 1;  // no worker threads: the tests fork
    return settings;
}

// An RGB-D subtractor with a partial region, fed frames 2 .. `last`.
dadimero::Subtractor fedUntil(const Frames& frames, int last) {
    dadimero::Subtractor subtractor(stateSettings(), frames.background, frames.depthBackground,
                                    frames.roi);
    cv::Mat mask;
    for (int f = 2; f <= last; ++f)
        subtractor.apply(frames.colour(f), frames.depth(f), mask);
    return subtractor;
}

// The masks of frames [from, to].
std::vector<cv::Mat> masksOf(dadimero::Subtractor& subtractor, const Frames& frames, int from,
                             int to) {
    std::vector<cv::Mat> masks;
    for (int f = from; f <= to; ++f) {
        cv::Mat mask;
        subtractor.apply(frames.colour(f), frames.depth(f), mask);
        masks.push_back(mask);
    }
    return masks;
}

bool sameMasks(const std::vector<cv::Mat>& a, const std::vector<cv::Mat>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].size() != b[i].size() || cv::norm(a[i], b[i], cv::NORM_INF) != 0.0) return false;
    return true;
}

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What a body run in a child process reported, and how the child ended.
struct ChildRun {
    bool timedOut = false;
    int status = 0;
    std::string report;  // "" when the body found nothing wrong
    long peakKb = 0;
};

// Runs `body` in a forked child with a time limit; the child's peak resident
// memory is its own. The body returns what it found wrong, "" for nothing.
ChildRun runInChild(const std::function<std::string()>& body, int seconds) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return ChildRun{false, -1, "no pipe", 0};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeEnds[0]);
        std::string report;
        try {
            report = body();
        } catch (const std::exception& e) {
            report = std::string("unexpected exception: ") + e.what();
        }
        for (size_t done = 0; done < report.size();) {
            const ssize_t n = write(pipeEnds[1], report.data() + done, report.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(pipeEnds[1]);
    ChildRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    pollfd pending{pipeEnds[0], POLLIN, 0};
    for (char buffer[4096];;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(&pending, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        run.report.append(buffer, static_cast<size_t>(n));
    }
    close(pipeEnds[0]);
    rusage usage{};
    wait4(pid, &run.status, 0, &usage);
    run.peakKb = usage.ru_maxrss;
    return run;
}

// "" when `call` throws the library's cv::Exception with StsParseError or
// StsError whose sentence holds `words`; else what went wrong.
std::string refusal(const std::function<void()>& call, const std::string& words,
                    const std::string& what) {
    try {
        call();
    } catch (const cv::Exception& e) {
        if (e.err.find(words) == std::string::npos) return what + ": " + e.err + "\n";
        if (e.code != cv::Error::StsParseError && e.code != cv::Error::StsError) {
            return what + ": code " + std::to_string(e.code) + ", " + e.err + "\n";
        }
        return "";
    }
    return what + ": accepted\n";
}

// The header of a state up to its checksum: the magic, the version, the
// record's length and the record; its settings come first.
constexpr size_t kRecordStart = 16 + 8;
constexpr size_t kFlagsAt = kRecordStart + 15 * 4;

// `state` with the header changed by `change` and its checksum recomputed, as
// a crafted file would have it.
std::string crafted(std::string state, const std::function<void(char*)>& change) {
    uint32_t recordBytes = 0;
    std::memcpy(&recordBytes, state.data() + 20, sizeof recordBytes);
    const size_t end = kRecordStart + recordBytes;
    change(state.data());
    const uint64_t sum = dadimero::stateChecksum(state.data(), end);
    std::memcpy(state.data() + end, &sum, sizeof sum);
    return state;
}

template <typename T>
std::function<void(char*)> put(size_t at, T value) {
    return [at, value](char* bytes) { std::memcpy(bytes + at, &value, sizeof value); };
}

// The damaged states' child stays below this, far below the 3 GB a crafted
// 4000 x 4000 state would make an unchecked reader allocate. AddressSanitizer
// keeps freed memory in quarantine, and the child frees much.
#ifdef DADI_SANITIZE_BUILD
constexpr long kChildMemoryLimitKb = 1536 * 1024;
#else
constexpr long kChildMemoryLimitKb = 400 * 1024;
#endif

}  // namespace

TEST(SubtractorStateTest, StatesRoundTripAndEveryDamagedOrForeignFileIsRefusedQuickly) {
    const TempDir dir;
    const Frames frames;
    dadimero::Subtractor saved = fedUntil(frames, 8);
    const fs::path good = dir / "good.state";
    saved.saveState(good.string());
    const std::string state = bytesOf(good);
    // The same bytes through a stream, and again after a load: nothing is lost.
    std::stringstream stream;
    saved.saveState(stream);
    EXPECT_EQ(stream.str(), state);
    dadimero::Subtractor loaded(stateSettings());
    loaded.loadState(good.string());
    std::stringstream again;
    loaded.saveState(again);
    EXPECT_EQ(again.str(), state);
    // A subtractor of another frame size refuses it.
    dadimero::Subtractor smaller(stateSettings(), frames.background(cv::Rect(0, 0, 12, 9)));
    try {
        smaller.loadState(good.string());
        ADD_FAILURE() << "loaded into a subtractor of another size";
    } catch (const cv::Exception& e) {
        EXPECT_STREQ(e.what(), (good.string() + " holds the state of 24x18 frames, this "
                                                "subtractor's are 12x9 (StsBadSize in "
                                                "dadimero::Subtractor::loadState)")
                                   .c_str());
    }

    // Every file below is refused, each in a child that must finish within the
    // time limit and stay small: a genuine state of this size is a few KiB.
    const fs::path versionOne = fs::path(DADI_TEST_DATA_DIR) / "subtractor" / "data";
    const ChildRun run = runInChild(
        [&] {
            std::string report;
            dadimero::Subtractor target(stateSettings(), frames.background, frames.depthBackground,
                                        frames.roi);
            dadimero::Subtractor reference(stateSettings(), frames.background,
                                           frames.depthBackground, frames.roi);
            const fs::path path = dir / "bad.state";
            // Refused by a subtractor of the state's frame size and by one
            // that has none yet, which would take a state of any size.
            dadimero::Subtractor sizeless(stateSettings());
            auto refused = [&](const std::string& bytes, const std::string& words,
                               const std::string& what) {
                writeBytes(path, bytes);
                for (dadimero::Subtractor* subtractor : {&target, &sizeless}) {
                    report += refusal([&] { subtractor->loadState(path.string()); },
                                      path.string() + " " + words, what);
                }
            };
            uint32_t recordBytes = 0;
            std::memcpy(&recordBytes, state.data() + 20, sizeof recordBytes);
            const size_t headerEnd = kRecordStart + recordBytes + 8;
            for (size_t cut = 0; cut < headerEnd; ++cut)
                refused(state.substr(0, cut), cut == 0 ? "is empty" : "",
                        "cut at " + std::to_string(cut));
            for (size_t cut = headerEnd; cut < state.size(); cut += 97)
                refused(state.substr(0, cut), "is truncated", "cut at " + std::to_string(cut));
            refused(state.substr(0, state.size() - 1), "is truncated", "one byte short");
            refused(state + "x", "is damaged", "one byte more");
            for (size_t bit = 0; bit < headerEnd * 8; ++bit) {
                std::string flipped = state;
                flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
                refused(flipped, "", "header bit " + std::to_string(bit));
            }
            std::mt19937 random(25);
            for (int i = 0; i < 400; ++i) {
                const size_t at = headerEnd + random() % (state.size() - headerEnd);
                std::string flipped = state;
                flipped[at] = static_cast<char>(flipped[at] ^ (1 << (random() % 8)));
                refused(flipped, "is damaged: its ", "bit flip at " + std::to_string(at));
            }
            // Crafted headers with a valid checksum: sizes far beyond the file.
            const size_t widthAt = kFlagsAt + 4;
            refused(crafted(state,
                            [&](char* b) {
                                put<int32_t>(widthAt, 4000)(b);
                                put<int32_t>(widthAt + 4, 4000)(b);
                            }),
                    "is damaged: its region of interest is 24x18", "4000 x 4000 frames");
            refused(crafted(state,
                            [&](char* b) {
                                for (const size_t at :
                                     {widthAt, widthAt + 4, widthAt + 8, widthAt + 12, widthAt + 20,
                                      widthAt + 24, widthAt + 32, widthAt + 36})
                                    put<int32_t>(at, 4000)(b);
                                put<uint64_t>(widthAt + 44, 0)(b);
                            }),
                    "is damaged: its model's length", "4000 x 4000 frames, images too");
            refused(crafted(state,
                            [&](char* b) {
                                put<int32_t>(widthAt, 4000)(b);
                                put<int32_t>(widthAt + 4, 4000)(b);
                                // No images, and the length of the fields a
                                // genuine state of that size has: only the
                                // file's length tells it from one.
                                for (size_t at = widthAt + 8; at < widthAt + 44; at += 4)
                                    put<int32_t>(at, 0)(b);
                                put<uint64_t>(widthAt + 44, 2368000124ull)(b);
                            }),
                    "is truncated: it has", "4000 x 4000 frames, the fields' length to match");
            refused(crafted(state, put<int32_t>(widthAt, -24)),
                    "is damaged: its frame size -24x18 is impossible", "negative width");
            refused(crafted(state, put<int32_t>(kRecordStart, 4)), "is damaged: n must be",
                    "n of 4");
            refused(crafted(state, put<uint32_t>(kFlagsAt, 7)),
                    "is damaged: its header has unknown flags", "flags");
            refused(crafted(state, put<int32_t>(widthAt + 16, CV_32FC1)),
                    "is damaged: its region of interest has the wrong type", "a float region");
            refused(crafted(state, put<uint32_t>(16, 3)),
                    "is a state of version 3; this library reads version 2 only", "version 3");
            // The first format: refused at once, damaged base64 included (which
            // OpenCV's own reader loops on).
            const std::string text = bytesOf(versionOne / "state_v1.yml");
            std::string damaged = text;
            damaged.replace(damaged.find("M3Ug"), 4, "AAAA");
            for (const std::string& old : {text, bytesOf(versionOne / "state_v1.yml.gz"), damaged})
                refused(old, "is a state of version 1; this library reads version 2 only",
                        "version 1");
            refused("%YAML:1.0\nformat: something\n", "is not a DADI-MERO state", "YAML");
            refused(std::string(4096, '\0'), "is not a DADI-MERO state", "zeros");
            // The subtractor that refused them all goes on as one that never tried.
            if (!sameMasks(masksOf(target, frames, 2, 12), masksOf(reference, frames, 2, 12))) {
                report += "the refusing subtractor changed\n";
            }
            return report;
        },
        120);
    EXPECT_FALSE(run.timedOut) << "the damaged states took longer than the time limit";
    EXPECT_EQ(run.report, "");
    EXPECT_TRUE(WIFEXITED(run.status)) << run.status;
    EXPECT_LT(run.peakKb, kChildMemoryLimitKb) << "a damaged state made the reader allocate";
}

TEST(SubtractorStateTest, AKillOrAFullDiskWhileSavingLeavesThePreviousStateWhole) {
    const TempDir dir;
    const Frames frames;
    const fs::path path = dir / "checkpoint.state";
    dadimero::Subtractor subtractor = fedUntil(frames, 6);
    subtractor.saveState(path.string());
    const std::string checkpoint = bytesOf(path);
    dadimero::Subtractor reference = fedUntil(frames, 6);
    const std::vector<cv::Mat> expected = masksOf(reference, frames, 7, 12);
    masksOf(subtractor, frames, 7, 9);  // the next save would hold these frames

    // Files may not grow past half a state: the write that crosses it kills
    // the saving process (SIGXFSZ), or, with the signal ignored, fails as on
    // a full disk.
    const rlim_t half = checkpoint.size() / 2;
    const ChildRun killed = runInChild(
        [&] {
            const rlimit limit{half, half};
            setrlimit(RLIMIT_FSIZE, &limit);
            subtractor.saveState(path.string());
            return std::string("saved past the file size limit");
        },
        60);
    ASSERT_FALSE(killed.timedOut);
    EXPECT_TRUE(WIFSIGNALED(killed.status) && WTERMSIG(killed.status) == SIGXFSZ)
        << killed.status << " " << killed.report;
    const ChildRun full = runInChild(
        [&] {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{half, half};
            setrlimit(RLIMIT_FSIZE, &limit);
            return refusal([&] { subtractor.saveState(path.string()); },
                           "cannot write the state file " + path.string() + ": File too large",
                           "a full disk");
        },
        60);
    ASSERT_FALSE(full.timedOut);
    EXPECT_EQ(full.report, "");

    EXPECT_EQ(bytesOf(path), checkpoint);
    dadimero::Subtractor restarted(stateSettings());
    restarted.loadState(path.string());
    EXPECT_TRUE(sameMasks(masksOf(restarted, frames, 7, 12), expected));
    // The failed save removed its temporary file; the killed one could not.
    std::vector<std::string> names = listFiles(dir.path());
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "checkpoint.state");
    EXPECT_EQ(names[1].rfind("checkpoint.state.", 0), 0u);
    EXPECT_EQ(names[1].substr(names[1].size() - 4), ".tmp");
}

TEST(SubtractorStateTest, OnlyRegularFilesAreReadOrReplacedAndTheLibraryNeverPrints) {
    const TempDir dir;
    const Frames frames;
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path target = dir / "target.state";
    writeBytes(target, "old");
    fs::create_symlink(target, dir / "link.state");
    fs::create_symlink(dir / "nowhere", dir / "dangling.state");
    const fs::path output = dir / "output.txt";
    // In a child with a time limit, which a FIFO opened for reading or writing
    // would exceed, and with its standard output and error in a file.
    const ChildRun run = runInChild(
        [&] {
            const int file = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(file, 1);
            dup2(file, 2);
            dadimero::Subtractor subtractor = fedUntil(frames, 5);
            std::string report;
            const std::string nul = (dir / "precious").string() + std::string(1, '\0') + ".state";
            const std::string shownNul = (dir / "precious").string() + "\\0.state";
            const std::vector<std::pair<std::string, std::string>> paths = {
                {fifo.string(), "it is a FIFO"},
                {dir.path().string(), "it is a directory"},
                {"/dev/null", "it is a device"},
                {nul, "the path holds a NUL byte"},
            };
            for (const auto& [path, reason] : paths) {
                const std::string shown = path == nul ? shownNul : path;
                report += refusal([&] { subtractor.saveState(path); },
                                  "cannot write the state file " + shown + ": " + reason, shown);
                report += refusal([&] { subtractor.loadState(path); },
                                  "cannot read the state file " + shown + ": " + reason, shown);
                report += refusal([&] { subtractor.saveSettings(path); },
                                  "cannot write the settings file " + shown + ": " + reason, shown);
                report += refusal([&] { subtractor.loadSettings(path); },
                                  "cannot read the settings file " + shown + ": " + reason, shown);
            }
            const std::string missing = (dir / "no" / "such.state").string();
            report +=
                refusal([&] { subtractor.saveState(missing); },
                        "cannot write the state file " + missing + ": No such file or directory",
                        "missing folder");
            const std::string dangling = (dir / "dangling.state").string();
            report += refusal(
                [&] { subtractor.saveState(dangling); },
                "cannot write the state file " + dangling + ": it is a link that leads nowhere",
                "dangling link");
            subtractor.saveState((dir / "link.state").string());  // through the link
            return report;
        },
        60);
    EXPECT_FALSE(run.timedOut) << "a FIFO blocked";
    EXPECT_EQ(run.report, "");
    EXPECT_EQ(bytesOf(output), "") << "the library printed";
    EXPECT_TRUE(fs::is_symlink(dir / "link.state"));
    dadimero::Subtractor loaded(stateSettings());
    loaded.loadState(target.string());
    EXPECT_FALSE(fs::exists(dir / "precious"));
    EXPECT_EQ(listFiles(dir.path()), (std::vector<std::string>{"dangling.state", "link.state",
                                                               "output.txt", "target.state"}));
}
