// The settings file: what a user writes by hand is read as written, and the usual order of
// option, environment and file decides a setting.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "app/UserSettings.h"
#include "tests/support/PosixCompat.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

class UserSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir =
            fs::temp_directory_path() /
            ("norvo-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        m_path = (m_dir / "norvo" / "norvo.conf").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void Write(const std::string& text) {
        fs::create_directories(fs::path(m_path).parent_path());
        std::ofstream(m_path) << text;
    }

    fs::path m_dir;
    std::string m_path;
};

TEST_F(UserSettingsTest, ReadsHandWrittenValuesAsWritten) {
    Write("# mine\nsources=gallery,wikimedia\nblend = natural\n[other]\nsources=ignored\n");
    const UserSettings file(m_path);
    EXPECT_EQ(file.Value(kSourcesKey), "gallery,wikimedia");
    EXPECT_EQ(file.Value(kBlendKey), "natural");
    EXPECT_EQ(file.Value("missing"), std::nullopt);
    EXPECT_EQ(UserSettings(m_path + ".none").Value(kBlendKey), std::nullopt);
}

TEST_F(UserSettingsTest, StoringCreatesTheFolderAndKeepsOtherKeys) {
    UserSettings file(m_path);
    ASSERT_TRUE(file.SetValue(kBlendKey, "natural"));
    ASSERT_TRUE(file.SetValue(kSourcesKey, "gallery"));
    ASSERT_TRUE(file.SetValue(kBlendKey, "classic"));
    EXPECT_EQ(UserSettings(m_path).Value(kBlendKey), "classic");
    EXPECT_EQ(UserSettings(m_path).Value(kSourcesKey), "gallery");
    EXPECT_FALSE(UserSettings("").SetValue(kBlendKey, "natural"));
}

TEST_F(UserSettingsTest, OptionBeatsEnvironmentBeatsFileBeatsDefault) {
    Write("blend=natural\n");
    const UserSettings file(m_path);
    const char* variable = "NORVO_SETTINGS_TEST_BLEND";
    unsetenv(variable);
    EXPECT_EQ(ResolveSetting("", variable, UserSettings(m_path + ".none"), kBlendKey, "classic"),
              "classic");
    EXPECT_EQ(ResolveSetting("", variable, file, kBlendKey, "classic"), "natural");
    setenv(variable, "env", 1);
    EXPECT_EQ(ResolveSetting("", variable, file, kBlendKey, "classic"), "env");
    EXPECT_EQ(ResolveSetting("option", variable, file, kBlendKey, "classic"), "option");
    unsetenv(variable);
}

#ifndef _WIN32
// Windows keeps the file under %APPDATA% (UserSettingsWinTest.cpp).
TEST(UserSettingsPathTest, FollowsXdgConfigHomeAndIgnoresRelativeOnes) {
    const char* saved = getenv("XDG_CONFIG_HOME");
    const std::string keep = saved != nullptr ? saved : "";
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(UserSettings::DefaultPath(), "/cfg/norvo/norvo.conf");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", getenv("HOME") != nullptr ? getenv("HOME") : "/home/u", 1);
    EXPECT_EQ(UserSettings::DefaultPath(),
              std::string(getenv("HOME")) + "/.config/norvo/norvo.conf");
    if (saved != nullptr) {
        setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}
#endif

}  // namespace
}  // namespace norvo
