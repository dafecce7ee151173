// The settings file on Windows: under %APPDATA%, at paths in any script, read as Qt's INI
// reader reads the same lines on Linux, and written so that Qt reads back what was stored.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/UserSettings.h"
#include "base/WideText.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

class UserSettingsWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir =
            fs::temp_directory_path() / (L"norvo 設定 " + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(m_dir);
        m_file = m_dir / L"ノルヴォ" / L"norvo.conf";
        m_path = win::FromWide(m_file.wstring());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void Write(const std::string& text) {
        fs::create_directories(m_file.parent_path());
        std::ofstream(m_file, std::ios::binary) << text;
    }
    std::string Read() const {
        std::ifstream in(m_file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_dir;
    fs::path m_file;
    std::string m_path;
};

TEST(UserSettingsWinPathTest, FollowsAppDataAndIgnoresRelativeOnes) {
    const wchar_t* set = _wgetenv(L"APPDATA");
    ASSERT_NE(set, nullptr);
    const std::wstring saved = set;
    // Wine's roaming folder, which %APPDATA% names by default.
    const std::string roaming = UserSettings::DefaultPath();
    EXPECT_EQ(roaming, win::FromWide(saved) + "\\norvo\\norvo.conf");
    _wputenv_s(L"APPDATA", L"D:\\設定\\");
    EXPECT_EQ(UserSettings::DefaultPath(), "D:\\設定\\norvo\\norvo.conf");
    _wputenv_s(L"APPDATA", L"relative");
    EXPECT_EQ(UserSettings::DefaultPath(), roaming);
    _wputenv_s(L"APPDATA", L"");
    EXPECT_EQ(UserSettings::DefaultPath(), roaming);
    _wputenv_s(L"APPDATA", saved.c_str());
}

TEST_F(UserSettingsWinTest, ReadsEachLineAsQtsReaderDoes) {
    // What Qt 6's QSettings (IniFormat) gives for key "a" of each file, as seen on Debian.
    const struct {
        const char* file;
        std::optional<std::string> value;
    } cases[] = {
        {"a=x ; comment\n", "x"},
        {"a = gallery, wikimedia\n", "gallery,wikimedia"},
        {"a=\"g,w\"\n", "g,w"},
        {"a=x,,y\n", "x,,y"},
        {"#c\n; c\na=1\n", "1"},
        {"[General]\na=3\n", "3"},
        {"a=top\n[General]\na=gen\n", "gen"},
        {"[general]\na=low\n", "low"},
        {"a=1\n[other]\na=2\n", "1"},
        {"[General]\na=1\n[x]\n[General]\na=2\n", "2"},
        {"A=5\n", std::nullopt},
        {"a=x\\ty\n", "x\ty"},
        {"a=\"x\\\"y\"\n", "x\"y"},
        {"a=\"a\\x41\"\n", "aA"},
        {"a=x\\q\n", "x"},
        {"a= spaced \n", "spaced"},
        {"a=\" kept \"\n", " kept "},
        {"a=x  y\n", "x  y"},
        {"a=x#y\n", "x#y"},
        {"  a  =  7\r\n", "7"},
        {"a=\n", ""},
        {"a=x=y\n", "x=y"},
        {"a=é\n", "é"},
        {"\xEF\xBB\xBF"
         "a=bom\n",
         "bom"},
        {"a=x\\\ny\n", "xy"},
        {"a=@String(hi)\n", "hi"},
        {"a=@@x\n", "@x"},
    };
    for (const auto& c : cases) {
        Write(c.file);
        EXPECT_EQ(UserSettings(m_path).Value("a"), c.value) << c.file;
    }
    EXPECT_EQ(UserSettings(m_path + ".none").Value("a"), std::nullopt);
}

TEST_F(UserSettingsWinTest, WritesAsQtWritesAndReadsItBack) {
    // Qt's own output for each value, as seen on Debian.
    const struct {
        std::string value;
        std::string line;
    } cases[] = {
        {"natural", "k=natural"}, {"gallery,wikimedia", "k=\"gallery,wikimedia\""},
        {"a;b", "k=\"a;b\""},     {"x\"y", "k=x\\\"y"},
        {" sp ", "k=\" sp \""},   {"é", "k=é"},
        {"@x", "k=@@x"},          {"a\\b", "k=a\\\\b"},
        {"t\tb", "k=t\\tb"},
    };
    for (const auto& c : cases) {
        fs::remove_all(m_dir);
        ASSERT_TRUE(UserSettings(m_path).SetValue("k", c.value)) << c.value;
        EXPECT_EQ(Read(), "[General]\n" + c.line + "\n\n");
        EXPECT_EQ(UserSettings(m_path).Value("k"), c.value);
    }
    EXPECT_FALSE(UserSettings("").SetValue("k", "v"));
}

TEST_F(UserSettingsWinTest, StoringKeepsTheUsersLines) {
    Write("# mine\nsources=gallery,wikimedia\nblend = natural\n[other]\nblend=x\n");
    UserSettings file(m_path);
    ASSERT_TRUE(file.SetValue(kBlendKey, "classic"));
    ASSERT_TRUE(file.SetValue(kLabelKey, "no"));
    EXPECT_EQ(Read(),
              "# mine\nsources=gallery,wikimedia\nblend=classic\nlabel=no\n[other]\nblend=x\n");

    Write("[other]\nx=1");
    ASSERT_TRUE(file.SetValue(kBlendKey, "natural"));
    EXPECT_EQ(Read(), "[General]\nblend=natural\n\n[other]\nx=1");
    ASSERT_TRUE(file.SetValue(kLabelKey, "no"));
    EXPECT_EQ(Read(), "[General]\nblend=natural\nlabel=no\n\n[other]\nx=1");
    EXPECT_EQ(file.Value(kBlendKey), "natural");
}

}  // namespace
}  // namespace norvo
