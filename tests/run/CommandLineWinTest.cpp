// norvo.exe's command line as a Windows user meets it: arguments and file names in any script
// arrive whatever the code page, the messages leave as UTF-8 with the program's plain name.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/WideText.h"
#include "tests/support/WinProcess.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

testing::ProcessRun Norvo(const std::vector<std::string>& args) {
    return testing::RunProcess(NORVO_PROGRAM_PATH, args, {}, "", true);
}

TEST(CommandLineWinTest, HelpNamesTheProgramWithoutItsSuffix) {
    const testing::ProcessRun run = Norvo({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.substr(0, 25), "Usage: norvo [OPTION]...\r");
}

TEST(CommandLineWinTest, ArgumentsOutsideTheCodePageArriveAsTyped) {
    // 𠮷 lies outside every ANSI code page and outside UTF-16's single units.
    const testing::ProcessRun run = Norvo({"𠮷田 さん"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out,
              "norvo: unexpected argument '𠮷田 さん'\r\nTry 'norvo --help' for more "
              "information.\r\n");
}

TEST(CommandLineWinTest, AnExistingOutputFileInAnyScriptIsKept) {
    const fs::path folder =
        fs::temp_directory_path() / (L"norvo 出力 " + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(folder);
    const fs::path file = folder / L"𠮷田.jpg";
    std::ofstream(file) << "mine";
    const std::string name = win::FromWide(file.wstring());
    const testing::ProcessRun run = Norvo({"--body", "a", "--face", "b", "--output", name});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "norvo: " + name + " exists; use --force to replace it\r\n");
    EXPECT_EQ(fs::file_size(file), 4u);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace norvo
