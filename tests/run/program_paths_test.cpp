// End-to-end tests of unusual sequence paths and of masks that cannot be
// written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/sequence_fixture.hpp"

namespace fs = std::filesystem;

namespace {

using PathFixture = SequenceFixture;

// A chain of nested directories made and removed through directory
// descriptors, since its whole path is longer than the kernel accepts.
class DeepDirectory {
  public:
    DeepDirectory(const fs::path& base, const std::string& name, int depth) : name_(name) {
        fds_.push_back(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (int i = 0; i < depth && fds_.back() >= 0; ++i) {
            if (mkdirat(fds_.back(), name.c_str(), 0755) != 0) break;
            fds_.push_back(openat(fds_.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        complete_ = fds_.back() >= 0 && fds_.size() == static_cast<size_t>(depth) + 1;
    }
    ~DeepDirectory() {
        if (fds_.back() >= 0) unlinkat(fds_.back(), "seq", 0);
        for (size_t i = fds_.size() - 1; i > 0; --i) {
            if (fds_[i] >= 0) close(fds_[i]);
            unlinkat(fds_[i - 1], name_.c_str(), AT_REMOVEDIR);
        }
        if (fds_[0] >= 0) close(fds_[0]);
    }
    DeepDirectory(const DeepDirectory&) = delete;
    DeepDirectory& operator=(const DeepDirectory&) = delete;
    bool complete() const { return complete_; }
    // Makes "seq" in the deepest directory a link to `target`.
    bool linkSequence(const fs::path& target) const {
        return symlinkat(target.c_str(), fds_.back(), "seq") == 0;
    }

  private:
    std::string name_;
    std::vector<int> fds_;
    bool complete_ = false;
};

}  // namespace

TEST_F(PathFixture, PathsWithSpacesAndNonAsciiCharactersWork) {
    writeSequence(seq(), plan);
    ASSERT_EQ(run({}).exitCode, 0);
    const auto reference = fileContents(out());
    ASSERT_EQ(reference.size(), 8u);
    for (const char* name : {"a sequence  with spaces ", "séquence-深度-\xF0\x9F\x8E\xA5"}) {
        const fs::path other = dir / name;
        writeSequence(other, plan);
        clearOutput();
        const ProgramRun result = runProgram(out(), {other.string()});
        EXPECT_EQ(result.exitCode, 0) << name;
        EXPECT_NE(result.out.find("DADI-MERO on sequence " + other.string() + "/ (using depth"),
                  std::string::npos)
            << name;
        EXPECT_EQ(fileContents(out()), reference) << name;
    }
}

TEST_F(PathFixture, PathLongerThanTheSystemAcceptsIsUnreadable) {
    writeSequence(seq(), plan);
    const std::string name(200, 'd');
    const DeepDirectory deep(dir.path(), name, 25);
    ASSERT_TRUE(deep.complete());
    ASSERT_TRUE(deep.linkSequence(seq()));
    std::string longPath = dir.path().string();
    for (int i = 0; i < 25; ++i)
        longPath += "/" + name;
    longPath += "/seq";
    ASSERT_GT(longPath.size(), 5000u);
    // The sequence is complete, but no system call takes a path this long.
    const ProgramRun result = runProgram(out(), {longPath});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
              "Unable to read temporal ROI from file " + longPath + "/temporalROI.txt\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(listFiles(out()).empty());
}

// Tests run as root, for whom permission bits do not stop a write, so an
// unwritable mask is a name that is a directory, a link into a directory that
// does not exist, or a link to /dev/full (every write fails: a full disk).
TEST_F(PathFixture, UnwritableMasksEndTheRunAndKeepEarlierMasks) {
    writeSequence(seq(), plan);
    ASSERT_EQ(run({"-l", "1"}).exitCode, 0);
    const auto complete = fileContents(out());
    ASSERT_EQ(complete.size(), 24u);  // Cbin, Dbin and bin for frames 5 to 12

    auto expectStop = [&](const std::string& blocked, void (*block)(const fs::path&)) {
        clearOutput();
        block(out() / blocked);
        const ProgramRun result = run({"-l", "1"});
        EXPECT_EQ(result.exitCode, 3) << blocked;
        EXPECT_EQ(lastLine(result.out), "Unable to write file " + blocked + "\n");
        EXPECT_EQ(result.err, "") << blocked;
        fs::remove_all(out() / blocked);
        // Every mask of the frames before is there and whole; nothing after.
        std::vector<std::pair<std::string, std::string>> expected;
        const std::string frame = blocked.substr(blocked.size() - 10);
        for (const auto& file : complete) {
            const std::string other = file.first.substr(file.first.size() - 10);
            // A frame's masks are written as Cbin, Dbin, bin: their byte order.
            const bool earlierMaskOfSameFrame = other == frame && file.first[0] < blocked[0];
            if (other < frame || earlierMaskOfSameFrame) expected.push_back(file);
        }
        EXPECT_EQ(fileContents(out()), expected) << blocked;
    };
    expectStop("Dbin000007.png", [](const fs::path& p) { fs::create_directory(p); });
    expectStop("bin000009.png",
               [](const fs::path& p) { fs::create_symlink("no/such/directory/x.png", p); });
    expectStop("Cbin000012.png", [](const fs::path& p) { fs::create_symlink("/dev/full", p); });
    expectStop("bin000005.png", [](const fs::path& p) { fs::create_symlink("/dev/full", p); });
}
