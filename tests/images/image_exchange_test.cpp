#include "images/image_exchange.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "files/image_files.hpp"
#include "files/temporary_names.hpp"
#include "support/test_sequence.hpp"

using namespace dadimero;

TEST(ImageExchangeTest, OnlyForegroundBecomesWhite) {
    const LabelMask mask = {0, 85, 127, 170, 254, 255};
    cv::Mat image(2, 3, CV_8UC1, cv::Scalar(7));
    maskToImage(mask, image);
    std::vector<uint8_t> bytes(6, 1);
    imageToBytes(image, bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 0, 0, 0, 0, 255}));
}

TEST(ImageExchangeTest, PaddedRowsKeepTheirPadding) {
    // A 5-pixel-wide view into rows of 8 bytes.
    cv::Mat storage(2, 8, CV_8UC1, cv::Scalar(9));
    cv::Mat image = storage.colRange(0, 5);
    const LabelMask mask(10, LABEL_FOREGROUND);
    maskToImage(mask, image);
    EXPECT_EQ(storage.at<uint8_t>(0, 4), 255);
    EXPECT_EQ(storage.at<uint8_t>(0, 5), 9);
    EXPECT_EQ(storage.at<uint8_t>(1, 7), 9);
    std::vector<uint8_t> bytes(10, 0);
    imageToBytes(image, bytes);
    EXPECT_EQ(bytes, std::vector<uint8_t>(10, 255));
}

TEST(ImageFilesTest, FilesAreReplacedWholeOrNotAtAll) {
    const cv::Mat image(2, 2, CV_8UC1, cv::Scalar(255));
    EXPECT_FALSE(writePngFile("/nonexistent-dir/mask.png", image));
    EXPECT_FALSE(writePngFile("/dev/full", image));  // only a regular file is replaced
    EXPECT_EQ(writeFileBytes("/dev/full", "abc", 3), WriteResult::OpenFailed);
    EXPECT_EQ(writeFileBytes("/nonexistent-dir/x", "abc", 3), WriteResult::OpenFailed);
    EXPECT_TRUE(readImage("/nonexistent-dir/x.png", 1).empty());

    TempDir dir;
    const std::string path = (dir / "bin000001.png").string();
    writeText(path, "old bytes, longer than the new ones");
    // Temporary files of a process that has ended are removed; those of a
    // running process, of another host or of no known writer are kept.
    const std::string ourTemporary = temporaryNameFor((dir / "bin000003.png").string());
    writeText(ourTemporary, "being written");
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        writeText(temporaryNameFor((dir / "bin000002.png").string()), "left by a killed run");
        _exit(0);
    }
    ASSERT_EQ(waitpid(writer, nullptr, 0), writer);
    std::string otherHost = temporaryNameFor((dir / "bin000004.png").string());
    otherHost.replace(otherHost.rfind('@'), 1, "@another.");
    writeText(otherHost, "another machine's run");
    writeText(dir / ".bin000005.png.dadimero.tmp", "no writer named: kept");
    ASSERT_EQ(writeFileBytes(path, "new", 3), WriteResult::Written);
    EXPECT_EQ(readText(path), "new");
    EXPECT_FALSE(std::filesystem::exists(temporaryNameFor(path)));
    // A link to a regular file is written through and stays a link.
    std::filesystem::create_directory(dir / "elsewhere");
    writeText(dir / "elsewhere" / "target.png", "old");
    std::filesystem::create_symlink(dir / "elsewhere" / "target.png", dir / "linked.png");
    ASSERT_EQ(writeFileBytes((dir / "linked.png").string(), "through", 7), WriteResult::Written);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "linked.png"));
    EXPECT_EQ(readText(dir / "elsewhere" / "target.png"), "through");
    std::filesystem::remove(dir / "linked.png");
    std::filesystem::remove_all(dir / "elsewhere");
    removeStaleTemporaryFiles(dir.path().string());
    EXPECT_EQ(listFiles(dir.path()),
              (std::vector<std::string>{std::filesystem::path(ourTemporary).filename(),
                                        std::filesystem::path(otherHost).filename(),
                                        ".bin000005.png.dadimero.tmp", "bin000001.png"}));

    // A full disk, as a file size limit of one byte: the old file stays whole
    // and no temporary file is left.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1, 1};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(writeFileBytes(path, "abc", 3) == WriteResult::WriteFailed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readText(path), "new");
    EXPECT_FALSE(std::filesystem::exists(temporaryNameFor(path)));
}
