// norvo.exe's whole run on Windows with the bundled service started beside it: httpc.dll, the
// pictures through WIC, the label, the service started in its job object and stopped at the end.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/WideText.h"
#include "imaging/Picture.h"
#include "tests/support/WinProcess.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

class PortraitEndToEndWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir =
            fs::temp_directory_path() / (L"norvo 肖像 " + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // The bundled gallery only: nothing leaves the machine.
    static testing::ProcessRun Norvo(const std::vector<std::string>& args) {
        return testing::RunProcess(NORVO_PROGRAM_PATH, args, {{"LANG", "C"}}, "", true);
    }

    fs::path m_dir;
};

TEST_F(PortraitEndToEndWinTest, WritesALabelledPortraitIntoAFolderNamedInJapanese) {
    const fs::path output = m_dir / L"𠮷田 p.jpg";
    const testing::ProcessRun run =
        Norvo({"--offline", "--body", "Grace Hopper", "--face", "Eileen Collins", "--output",
               win::FromWide(output.wstring())});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("保存しました。\r\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("progress 16/16\r\n"), std::string::npos) << run.out;

    // 600 pixels high, and labelled a composite.
    PictureStatus why{};
    const PictureHandle picture = LoadPicture(win::FromWide(output.wstring()), &why);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(DescribePicture(picture)->header->biHeight, 600);
    ReleasePicture(picture);
    std::ifstream in(output, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(bytes.find("digitalsourcetype/composite"), std::string::npos);
}

TEST_F(PortraitEndToEndWinTest, ANameInAnyScriptReachesTheServiceAsTyped) {
    // The gallery has nobody by this name: the service was asked for it, and said so.
    const testing::ProcessRun run =
        Norvo({"--offline", "--body", "𠮷田 花子", "--face", "Eileen Collins", "--output",
               win::FromWide((m_dir / L"p.jpg").wstring())});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("𠮷田 花子の顔認識ができませんでした。(0)\r\n"), std::string::npos)
        << run.out;
    EXPECT_FALSE(fs::exists(m_dir / L"p.jpg"));
}

}  // namespace
}  // namespace norvo
