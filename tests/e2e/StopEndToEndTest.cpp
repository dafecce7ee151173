// Ctrl-C on a terminal run whose server trickles its answer: the built program, its module and
// a stand-in for the bundled service, each a process of its own.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../module/HttpcTestSupport.h"
#include "ChildProgram.h"
#include "app/TerminalTexts.h"
#include "saori/Platform.h"
#include "saori/WorkFolder.h"
#include "text/UserText.h"
#include "web/LookupTexts.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Started by the program as its bundled service: hands out the test's server as its address,
// notes every stop signal it gets, and ends with its lifeline like the real one.
constexpr char kStandInService[] = R"(#!/bin/sh
trap 'echo INT >> "$NORVO_TEST_SIGNALS"' INT
trap 'echo TERM >> "$NORVO_TEST_SIGNALS"; exit 0' TERM
echo "$NORVO_TEST_SERVICE_ADDRESS"
exec 3<&0
cat <&3 >/dev/null &
while kill -0 $! 2>/dev/null; do wait $!; done
)";

class StopEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.IsValid());
        test::ServeTricklingSearch(server, searches);
        server.Start();
        // The program finds its service beside itself and its module in lib/norvo/: a copy of
        // it in a tree of its own, beside the stand-in, starts the stand-in as its bundled
        // service.
        fs::create_directories(folder.Path() + "bin");
        fs::create_directories(folder.Path() + "lib/norvo");
        fs::copy_file(platform::ProgramFolder() + "norvo", Program());
        fs::copy_file(platform::ModuleFolder() + "httpc.so", folder.Path() + "lib/norvo/httpc.so");
        const std::string service = folder.Path() + "bin/norvo-gallery";
        std::ofstream(service) << kStandInService;
        ::chmod(service.c_str(), 0700);
    }

    std::string Program() const { return folder.Path() + "bin/norvo"; }

    bool WaitForSearch() {
        // The limit is only there for a hang.
        const auto limit = std::chrono::steady_clock::now() + 120s;
        while (searches == 0 && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(5ms);
        }
        return searches > 0;
    }

    WorkFolder folder{fs::temp_directory_path().string()};
    test::LoopbackServer server;
    std::atomic<int> searches{0};
};

TEST_F(StopEndToEndTest, CtrlCStopsTheTerminalRunAtOnceAndOnlyTheProgramSeesIt) {
    const std::string signals = folder.Path() + "service-signals";
    const std::string output = folder.Path() + "portrait.jpg";
    testing::ChildProgram program;
    ASSERT_TRUE(program.Start(Program(), {"--body", "A", "--face", "B", "--output", output},
                              {{"NORVO_SEARCH_URL", ""},
                               {"NORVO_DETECT_URL", ""},
                               {"NORVO_TEST_SERVICE_ADDRESS", server.Url("")},
                               {"NORVO_TEST_SIGNALS", signals}}));
    ASSERT_TRUE(WaitForSearch()) << program.ErrorOutput();

    program.Interrupt();
    // How soon it stops is bench_stop's to measure; here it must stop, quietly.
    const std::optional<int> status = program.WaitExit(120s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 1);
    const std::string said = program.ErrorOutput();
    EXPECT_NE(said.find(ComposeText(kStoppedText, {"norvo"}) + "\n"), std::string::npos) << said;
    for (const char* failure : {kRequestFailedText, kRequestAnswerBadText, kRequestNotEndedText}) {
        EXPECT_EQ(said.find(failure), std::string::npos) << said;
    }
    // The service kept serving through the Ctrl-C; the program stopped it on its way out.
    EXPECT_EQ(test::ReadFile(signals), "TERM\n");
    EXPECT_FALSE(fs::exists(output));
}

}  // namespace
}  // namespace norvo
