// End-to-end tests of option values chosen to break the program: huge or
// negative numbers, empty values and values with blanks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/sequence_fixture.hpp"

namespace {

using HostileOptionFixture = SequenceFixture;

std::string valueError(const char* name) {
    return std::string("Error: please, provide value for option \"") + name + "\"\n";
}

}  // namespace

TEST_F(HostileOptionFixture, BlockSidesOutsideTheSupportedSetAreOptionErrors) {
    writeSequence(seq(), plan);
    const struct {
        const char* value;
        const char* shown;
    } cases[] = {{"0x7fffffff", "2147483647"},
                 {"-3", "-3"},
                 {"", "0"},
                 {"99999999999", "2147483647"},
                 {"-0x80000000", "-2147483648"}};
    for (const auto& c : cases) {
        const ProgramRun result = run({"-n", c.value});
        EXPECT_EQ(result.exitCode, 2) << c.value;
        EXPECT_EQ(result.out, "") << c.value;
        EXPECT_EQ(result.err, std::string("Error: unsupported value ") + c.shown +
                                  " for option \"-n\" (supported: 1, 3, 5, 7, 9)\n")
            << c.value;
    }
    EXPECT_TRUE(listFiles(out()).empty());
}

TEST_F(HostileOptionFixture, ValuesWithBlanksOrJunkAreOptionErrors) {
    writeSequence(seq(), plan);
    // One integer and one float option: all share the two converters.
    for (const char* name : {"-K", "-e1"}) {
        for (const char* value : {"5 ", "5\t", "5 6", "five", "0x", "1e3x"}) {
            const ProgramRun result = run({name, value});
            EXPECT_EQ(result.exitCode, 2) << name << " '" << value << "'";
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, valueError(name)) << name << " '" << value << "'";
        }
    }
    EXPECT_TRUE(listFiles(out()).empty());
}

TEST_F(HostileOptionFixture, EmptyAndLeadingBlankValuesConvertLikeStrtol) {
    writeSequence(seq(), plan);
    // An empty value converts nothing and counts as 0, which for -end and -K
    // means "take it from the temporal range": the run is the default one.
    ASSERT_EQ(run({"-DADI", "0"}).exitCode, 0);
    const auto reference = fileContents(out());
    ASSERT_EQ(reference.size(), 8u);
    clearOutput();
    ProgramRun result = run({"-DADI", "0", "-end", "", "-K", "", "-e2", " 0.008"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(fileContents(out()), reference);
    // An empty -DADI is 0: colour alone, as above.
    clearOutput();
    result = run({"-DADI", ""});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("RGB-MERO  on sequence"), std::string::npos);
    EXPECT_EQ(fileContents(out()), reference);
}

TEST_F(HostileOptionFixture, FrameNumbersNearTheIntegerLimitsEndAtAMissingFrame) {
    writeSequence(seq(), plan);
    const std::string input = prefix() + "/input/";
    const std::string depth = prefix() + "/depth/";
    const struct {
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {{"-DADI", "0", "-ini", "2147483000", "-K", "2147483647"},
         "Unable to read expected RGB file " + input + "in2147483001.png\n"},
        {{"-ini", "2147483000", "-K", "2147483647"},
         "Unable to read expected file " + depth + "d2147483000.png\n"},
        {{"-DADI", "0", "-ini", "-2147483648", "-end", "2147483647"},
         "Unable to read expected RGB file " + input + "in-2147483647.png\n"},
        {{"-ini", "-2147483648", "-end", "2147483647"},
         "Unable to read expected file " + depth + "d-2147483648.png\n"},
        // Clamped values: calibration reads past INT32_MAX, the online phase
        // before INT32_MIN.
        {{"-DADI", "0", "-ini", "99999999999", "-end", "99999999999", "-K", "0x7fffffff"},
         "Unable to read expected RGB file " + input + "in2147483648.png\n"},
        {{"-DADI", "0", "-ini", "2147483647", "-end", "2147483647", "-K", "-2147483648"},
         "Unable to read expected RGB file " + input + "in-000001.png\n"},
        {{"-DADI", "0", "-ini", "-2147483648", "-K", "-2147483648", "-end", "-2147483648"},
         "Unable to read expected RGB file " + input + "in-4294967296.png\n"},
    };
    for (const auto& c : cases) {
        const ProgramRun result = run(c.options);
        EXPECT_EQ(result.exitCode, 1) << c.message;
        EXPECT_EQ(lastLine(result.out), c.message);
        EXPECT_EQ(result.err, "") << c.message;
        EXPECT_TRUE(listFiles(out()).empty()) << c.message;
    }
}
