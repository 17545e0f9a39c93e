// End-to-end: a run killed at any write leaves only whole files under their
// final names, a log that shows how far it got, and a directory the next run
// completes as if nothing had happened.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/sequence_fixture.hpp"

namespace {

using KillFixture = SequenceFixture;

// strace kills the program as it enters its k-th write().
ChildSetup killedAtWrite(int k) {
    ChildSetup setup;
#ifdef DADI_SANITIZE_BUILD
    // LeakSanitizer cannot work in a traced process.
    setup.environment = {"ASAN_OPTIONS=detect_leaks=0:exitcode=86"};
#endif
    setup.wrapper = {"strace",      "-f",        "-qq",
                     "-o",          "/dev/null", "-e",
                     "trace=write", "-e",        "inject=write:signal=9:when=" + std::to_string(k)};
    return setup;
}

}  // namespace

TEST_F(KillFixture, EveryFileUnderItsFinalNameIsWholeAndTheLogSurvives) {
    writeSequence(seq(), plan);
    const std::vector<std::string> options = {"-l", "1", "-m", "1"};
    const ProgramRun clean = run(options);
    ASSERT_EQ(clean.exitCode, 0);
    const auto reference = fileContents(out());
    const std::map<std::string, std::string> whole(reference.begin(), reference.end());
    ASSERT_EQ(whole.size(), 45u);  // 3 masks and 2 snapshots a frame, 5 more snapshots

    int kills = 0;
    for (int k = 1; k < 1000; ++k) {
        clearOutput();
        const ProgramRun killed = run(options, killedAtWrite(k));
        if (killed.exitCode == 0) break;  // the run has fewer writes than k
        ASSERT_EQ(killed.exitCode, 128 + 9) << "write " << k << ": " << killed.err;
        ++kills;
        bool anyMask = false;
        for (const auto& [name, bytes] : fileContents(out())) {
            if (name.front() == '.') continue;  // a temporary file may remain
            ASSERT_EQ(whole.count(name), 1u) << "write " << k << ": " << name;
            EXPECT_EQ(bytes, whole.at(name)) << "write " << k << ": " << name << " is torn";
            anyMask = anyMask || name.starts_with("bin");
        }
        EXPECT_EQ(clean.out.rfind(killed.out, 0), 0u) << "write " << k;
        if (anyMask) {
            EXPECT_NE(killed.out.find("\nOnline phase on 8 frames (from 5 to 12) ...\n"),
                      std::string::npos)
                << "write " << k;
        }
        // The next run in the same directory clears what the killed one left.
        if (k % 5 == 0) {
            ASSERT_EQ(run(options).exitCode, 0);
            EXPECT_EQ(fileContents(out()), reference) << "after a kill at write " << k;
        }
    }
    EXPECT_GT(kills, 50);
}

TEST_F(KillFixture, RunsSharingAFolderEndWithWholeMasks) {
    plan.width = 64;
    plan.height = 48;
    plan.frames = 150;
    plan.fromIdx = 38;
    plan.toIdx = 150;
    writeSequence(seq(), plan);
    ASSERT_EQ(run({"-threads", "1"}).exitCode, 0);
    const auto reference = fileContents(out());
    ASSERT_EQ(reference.size(), 113u);
    // Two runs at once write the same masks in the same folder: neither may
    // take, rename or remove the other's temporary files.
    ChildSetup together;
    together.wrapper = {"timeout", "300", "bash", "-c",
                        "\"$0\" \"$@\" >/dev/null & first=$!; \"$0\" \"$@\" >/dev/null; "
                        "second=$?; wait $first; echo \"$? $second\""};
    for (int round = 0; round < 3; ++round) {
        const ProgramRun both = run({"-threads", "1"}, together);
        ASSERT_EQ(both.exitCode, 0) << both.err;
        EXPECT_EQ(both.out, "0 0\n") << "round " << round;
        EXPECT_EQ(fileContents(out()), reference) << "round " << round;
    }
}
