#include <gtest/gtest.h>

#include <stdexcept>

#include "shell_words.hpp"
#include "sweep_settings.hpp"

using namespace dadimero;

TEST(ShellWordsTest, QuotesAndEscapesAsAShellReadsThem) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(splitShellWords("  -p short\t-t 01:00:00 "),
              (Words{"-p", "short", "-t", "01:00:00"}));
    EXPECT_EQ(splitShellWords("-nameCE 'bg 2.png' --comment=\"a \\\"b\\\" c\" x\\ y ''"),
              (Words{"-nameCE", "bg 2.png", "--comment=a \"b\" c", "x y", ""}));
    EXPECT_EQ(splitShellWords("'it'\\''s'"), (Words{"it's"}));
    EXPECT_EQ(splitShellWords(shellQuoted("a 'b' $c\n")), (Words{"a 'b' $c\n"}));
    EXPECT_THROW(splitShellWords("-p 'short"), std::runtime_error);
    EXPECT_THROW(splitShellWords("-p \"short"), std::runtime_error);
    EXPECT_THROW(splitShellWords("-p short\\"), std::runtime_error);
}

TEST(SettingFolderTest, SaysTheValuesAndNeverLetsTwoSettingsShareAFolder) {
    EXPECT_EQ(settingFolder({"-e2", "0.004", "-c2", "0.02"}), "e2=0.004,c2=0.02");
    EXPECT_EQ(settingFolder({}), "defaults");
    // Characters a file name should not hold are replaced, and the hash of the
    // options keeps the name apart from the setting that really says "_".
    const std::string slash = settingFolder({"-nameCE", "bg/2.png"});
    const std::string underscore = settingFolder({"-nameCE", "bg_2.png"});
    EXPECT_EQ(underscore, "nameCE=bg_2.png");
    EXPECT_EQ(slash.rfind("nameCE=bg_2.png~", 0), 0u) << slash;
    EXPECT_EQ(slash.find('/'), std::string::npos);
    EXPECT_EQ(slash, settingFolder({"-nameCE", "bg/2.png"}));  // the same options, the same name
    EXPECT_NE(settingFolder({"-nameCE", "bg 2.png"}), settingFolder({"-nameCE", "bg\t2.png"}));
    // Long settings stay short enough for a file name.
    const std::vector<std::string> many = {"-e1",  "0.1000000001", "-e2",  "0.0080000001",
                                           "-e1D", "0.1000000001", "-e2D", "0.0007500001",
                                           "-c1",  "0.1000000001", "-c2",  "0.0500000001",
                                           "-g",   "0.7000000001", "-b",   "1.0000000001"};
    EXPECT_LE(settingFolder(many).size(), 100u);
    EXPECT_NE(settingFolder(many).find('~'), std::string::npos);
}

TEST(CheckSettingsTest, RefusesWhatCannotBeASweep) {
    const auto refusal = [](std::vector<Setting> settings, std::vector<std::string> fixed) {
        try {
            checkSettings(settings, fixed);
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    const Setting a{"e2=1", {"-e2", "1"}};
    const Setting b{"e2=2", {"-e2", "2"}};
    EXPECT_EQ(refusal({a, b}, {"-c2", "0.1"}), "");
    EXPECT_EQ(refusal({a, {"e2=1.0", {"-e2", "1.0"}}}, {}), "");  // other text, other record
    EXPECT_EQ(refusal({a, {"again", {"-e2", "1"}}}, {}), "settings e2=1 and again are the same");
    EXPECT_EQ(refusal({a, b}, {"-e2", "3"}),
              "setting e2=1 sweeps -e2, which the options after -- fix too");
    EXPECT_EQ(refusal({{"t", {"-threads", "2"}}}, {}),
              "setting t sweeps -threads, which changes no mask");
    EXPECT_NE(refusal({{"x", {"-e2", "1", "-e2", "2"}}}, {}).find("\"-e2\""), std::string::npos);
    EXPECT_NE(refusal({{"n", {"-n", "4"}}}, {}).find("unsupported value 4"), std::string::npos);
}
