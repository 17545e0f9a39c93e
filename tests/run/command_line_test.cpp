#include "run/command_line.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "run/fatal_error.hpp"

using namespace dadimero;

namespace {

ArgumentList line(std::initializer_list<const char*> entries) {
    ArgumentList args = {"DADI-MERO"};
    for (const char* e : entries)
        args.emplace_back(e);
    return args;
}

// The message and exit code of the option error `args` causes.
FatalError parseError(ArgumentList args) {
    try {
        parseRunParameters(args);
    } catch (const FatalError& error) {
        return error;
    }
    return FatalError{0, "", false};
}

std::string valueError(const char* name) {
    return std::string("Error: please, provide value for option \"") + name + "\"\n";
}

}  // namespace

TEST(CommandLineTest, DefaultsAreTheFloatsNearestTheDocumentedValues) {
    ArgumentList args = line({"seq"});
    const RunParameters p = parseRunParameters(args);
    EXPECT_EQ(p.ini, 1);
    EXPECT_EQ(p.end, 0);
    EXPECT_EQ(p.n, 3);
    EXPECT_EQ(p.K, 0);
    EXPECT_EQ(p.e1, 0.1f);
    EXPECT_EQ(p.e2D, 0.00075f);
    EXPECT_EQ(p.Cw, 5);
    EXPECT_EQ(p.tauH, 10.0f);
    EXPECT_EQ(p.useRoi, 1);
    EXPECT_EQ(p.useDepth, 1);
    EXPECT_EQ(p.backgroundName, "CinitImageL.png");
}

TEST(CommandLineTest, IntegersConvertInBaseZeroAndMustConvertWhole) {
    ArgumentList args = line({"seq", "-K", "0x1F", "-ini", "010", "-end", "-7", "-n", "011"});
    RunParameters p = parseRunParameters(args);
    EXPECT_EQ(p.K, 31);
    EXPECT_EQ(p.ini, 8);
    EXPECT_EQ(p.end, -7);
    EXPECT_EQ(p.n, 9);
    ArgumentList big = line({"seq", "-K", "99999999999", "-end", "-99999999999", "-Cw", ""});
    p = parseRunParameters(big);
    EXPECT_EQ(p.K, INT32_MAX);
    EXPECT_EQ(p.end, INT32_MIN);
    EXPECT_EQ(p.Cw, 0);  // an empty value converts nothing and is accepted as 0

    FatalError error = parseError(line({"seq", "-n", "3.5"}));
    EXPECT_EQ(error.exitCode, 2);
    EXPECT_TRUE(error.toStandardError);
    EXPECT_EQ(error.message, valueError("-n"));
    EXPECT_EQ(parseError(line({"seq", "-K", "4 "})).message, valueError("-K"));
}

TEST(CommandLineTest, OnlyOddBlockSidesUpToNineAreAccepted) {
    for (const char* value : {"0x10", "010", "2", "0", "-3", "11", "0x7fffffff"}) {
        // Refused when "-n" is parsed, before the broken "-K" after it.
        const FatalError error = parseError(line({"seq", "-n", value, "-K"}));
        EXPECT_EQ(error.exitCode, 2) << value;
        EXPECT_NE(error.message.find("unsupported value"), std::string::npos) << value;
    }
    EXPECT_EQ(parseError(line({"seq", "-n", "0x10"})).message,
              "Error: unsupported value 16 for option \"-n\" (supported: 1, 3, 5, 7, 9)\n");
}

TEST(CommandLineTest, FloatsAcceptWhatStrtodAccepts) {
    for (const char* value : {".05", "5e-2", "+0.05"}) {
        ArgumentList args = line({"seq", "-e1", value});
        EXPECT_EQ(parseRunParameters(args).e1, 0.05f) << value;
    }
    ArgumentList special = line({"seq", "-e2", "inf", "-c1", "0x1p-3", "-c2", ""});
    const RunParameters p = parseRunParameters(special);
    EXPECT_EQ(p.e2, INFINITY);
    EXPECT_EQ(p.c1, 0.125f);
    EXPECT_EQ(p.c2, 0.0f);
    EXPECT_EQ(parseError(line({"seq", "-e1", "0.05x"})).message, valueError("-e1"));
    EXPECT_EQ(parseError(line({"seq", "-e1", "0.05 "})).message, valueError("-e1"));
}

TEST(CommandLineTest, OptionsAreFoundAnywhereAndRemovedAsTheyAreRead) {
    // "-n" is parsed before "-K" and takes 5; "-K" is then the last entry.
    EXPECT_EQ(parseError(line({"seq", "-K", "-n", "5"})).message, valueError("-K"));
    // "-ini" is parsed first: it is the last entry.
    EXPECT_EQ(parseError(line({"seq", "-nameCE", "-ini"})).message, valueError("-ini"));

    // The leftmost of two occurrences is used; unknown options are ignored.
    ArgumentList twice = line({"seq", "-n", "5", "-x", "17", "-n", "7", "-ROI", "0"});
    RunParameters p = parseRunParameters(twice);
    EXPECT_EQ(p.n, 5);
    EXPECT_EQ(p.useRoi, 0);

    // An option before the sequence path: the path entry is examined too.
    ArgumentList before = line({"-n", "3", "dir"});
    p = parseRunParameters(before);
    EXPECT_EQ(p.n, 3);
    EXPECT_EQ(before, (ArgumentList{"DADI-MERO", "dir"}));

    ArgumentList name = line({"seq", "-nameCE", "bg image.png"});
    EXPECT_EQ(parseRunParameters(name).backgroundName, "bg image.png");
}

TEST(CommandLineTest, ParseOrderDecidesWhichErrorIsReported) {
    // "-e2" comes before "-c1" in parse order, whatever the command line says.
    EXPECT_EQ(parseError(line({"seq", "-c1", "x", "-e2", "y"})).message, valueError("-e2"));
    EXPECT_EQ(parseError(line({"seq", "-DADI", "1", "-s", "on"})).message, valueError("-s"));
}
