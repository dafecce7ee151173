// saori-request.exe as on Linux (results, exit statuses, --dir), and driving a module written
// in plain C from the documented interface alone.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "saori/WorkFolder.h"
#include "tests/support/WinProcess.h"

namespace {

using norvo::testing::RunProcess;

norvo::testing::ProcessRun RunTool(
    const std::vector<std::string>& args,
    const std::vector<std::pair<std::string, std::string>>& env = {}) {
    return RunProcess(NORVO_SAORI_REQUEST_PATH, args, env);
}

TEST(SaoriRequestToolWin, PrintsResultAndHeadersAndExitsWithTheResult) {
    const auto run = RunTool(
        {NORVO_TEST_MODULE_PATH, "http://x/"},
        {{"NORVO_TEST_MODULE_ANSWER", "SAORI/1.0 200 OK\r\nValue0: b\r\nResult: 1\r\n\r\n"}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "0\nResult: 1\nValue0: b\n");
    const auto notFound = RunTool({NORVO_TEST_MODULE_PATH},
                                  {{"NORVO_TEST_MODULE_ANSWER", "SAORI/1.0 404 Not Found\r\n"}});
    EXPECT_EQ(notFound.exitCode, 4);
    EXPECT_EQ(RunTool({NORVO_TEST_MODULE_NO_REQUEST_PATH}).exitCode, 1);
}

TEST(SaoriRequestToolWin, DirIsHandedOverWithABackslash) {
    norvo::WorkFolder work;
    std::string dir = work.Path();
    dir.pop_back();
    const auto run = RunTool({"--dir", dir, NORVO_TEST_MODULE_PATH, "a", "b", "c"},
                             {{"NORVO_TEST_MODULE_TOUCH", "request.txt"}});
    EXPECT_EQ(run.exitCode, 0);
    std::ifstream in(work.Path() + "request.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "EXECUTE SAORI/1.0\r\nSender: norvo\r\nSecurityLevel: Local\r\n"
              "Argument0: a\r\nArgument1: b\r\nArgument2: c\r\n\r\n");
}

TEST(SaoriRequestToolWin, Errors) {
    EXPECT_EQ(RunTool({}).exitCode, 10);
    EXPECT_EQ(RunTool({"--bogus", NORVO_TEST_MODULE_PATH}).exitCode, 10);
    EXPECT_EQ(RunTool({NORVO_TEST_MODULE_PATH, "1", "2", "3", "4"}).exitCode, 10);
    EXPECT_EQ(RunTool({"C:\\nonexistent\\httpc.dll"}).exitCode, 11);
    EXPECT_EQ(RunTool({NORVO_TEST_MODULE_NO_LOAD_PATH}).exitCode, 11);
}

TEST(SaoriRequestToolWin, DrivesAModuleWrittenOnlyFromTheInterface) {
    norvo::WorkFolder work;
    std::string dir = work.Path();
    dir.pop_back();
    const auto run = RunTool({"--dir", dir, NORVO_PLAIN_C_MODULE_PATH, "olleh"});
    EXPECT_EQ(run.exitCode, 0);
    std::string folder = dir;
    for (char& c : folder) {
        if (c == '/') {
            c = '\\';
        }
    }
    EXPECT_EQ(run.out, "0\nResult: hello\nValue0: " + folder + "\\\n");
}

}  // namespace
