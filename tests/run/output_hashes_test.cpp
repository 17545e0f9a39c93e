// Every output file of a set of runs, hashed and compared with the hashes
// recorded in output_hashes.txt. A hash may change only with a correctness fix,
// committed on its own with the reason; speed work must keep every byte.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/rich_sequence.hpp"
#include "support/test_sequence.hpp"

namespace fs = std::filesystem;

namespace {

uint64_t fnv1a(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char b : bytes) {
        hash ^= b;
        hash *= 1099511628211ull;
    }
    return hash;
}

struct HashCase {
    const char* name;
    RichSequencePlan sequence;
    std::vector<std::string> options;
};

std::vector<HashCase> hashCases() {
    RichSequencePlan sixteen;
    RichSequencePlan eightPartial;
    eightPartial.depthBits = 8;
    eightPartial.partialRoi = true;
    eightPartial.seed = 2;
    RichSequencePlan tall;
    tall.width = 24;
    tall.height = 40;
    tall.seed = 3;
    return {
        {"rgbd16-n3-cw5", sixteen, {"-l", "1", "-m", "1"}},
        {"rgbd8-n5-cw3-roi", eightPartial, {"-n", "5", "-Cw", "3", "-l", "1", "-m", "1"}},
        {"colour-n3-cw5", sixteen, {"-DADI", "0", "-l", "1", "-m", "1"}},
        {"colour-n5-cw3-roi",
         eightPartial,
         {"-DADI", "0", "-n", "5", "-Cw", "3", "-l", "1", "-m", "1"}},
        {"rgbd16-n1-noshadow", tall, {"-n", "1", "-s", "0", "-l", "1"}},
        {"rgbd16-n9-k1", tall, {"-n", "9", "-K", "1", "-l", "1", "-m", "1"}},
        {"rgbd8-n7-tight",
         eightPartial,
         {"-n", "7", "-e2", "0.002", "-c2", "0.2", "-g", "0.5", "-l", "1"}},
    };
}

// The hash listing of every case, run with `extra` options added.
std::string hashListing(const TempDir& dir, const std::vector<std::string>& extra) {
    std::ostringstream listing;
    for (const HashCase& c : hashCases()) {
        const fs::path seq = dir / (std::string(c.name) + "-seq");
        const fs::path out = dir / (std::string(c.name) + "-out");
        if (!fs::exists(seq)) writeRichSequence(seq, c.sequence);
        fs::remove_all(out);
        fs::create_directories(out);
        std::vector<std::string> args = c.options;
        args.insert(args.begin(), seq.string());
        args.insert(args.end(), extra.begin(), extra.end());
        const ProgramRun run = runProgram(out, args);
        EXPECT_EQ(run.exitCode, 0) << c.name << "\n" << run.out;
        for (const std::string& file : listFiles(out)) {
            listing << c.name << " " << file << " " << std::hex << fnv1a(readText(out / file))
                    << std::dec << "\n";
        }
    }
    return listing.str();
}

}  // namespace

TEST(OutputHashesTest, EveryOutputFileKeepsItsRecordedHashWithAnyThreadCount) {
    TempDir dir;
    const std::string expected =
        readText(fs::path(DADI_TEST_DATA_DIR) / "run" / "output_hashes.txt");
    for (const char* threads : {"0", "1", "3"}) {
        const std::string actual = hashListing(dir, {"-threads", threads});
        EXPECT_EQ(actual, expected) << "-threads " << threads << ", actual hashes:\n" << actual;
    }
}
