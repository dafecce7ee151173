// A stop from the console (Ctrl-C, Ctrl-Break) reaches the waiter through the console control
// handler; a watched pipe's end and EndWaits wake it too.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <csignal>
#include <future>

#include "saori/StopSignals.h"

namespace norvo {
namespace {

using WaitEnd = StopSignals::WaitEnd;

TEST(StopSignalsWinTest, CtrlCAndCtrlBreakFromTheConsoleWakeTheWaiterAndTheFirstIsKept) {
    // The tests may run without a console of their own (a pipe for output): make one.
    if (GetConsoleWindow() == nullptr) {
        AllocConsole();
    }
    StopSignals signals;
    ASSERT_TRUE(signals.IsActive());
    EXPECT_EQ(signals.Received(), 0);
    auto waited = std::async(std::launch::async, [&] { return signals.Wait(); });
    // Every process on the console gets it, this one included; the handler runs on a thread
    // Windows starts for it.
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        const DWORD error = GetLastError();
        signals.EndWaits();  // the waiter must not outlive the test
        FAIL() << "no console to send Ctrl-C on: error " << error;
    }
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(waited.get(), WaitEnd::Signal);
    EXPECT_EQ(signals.Received(), SIGINT);
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) << GetLastError();
    // Came while nobody waited: the next Wait takes it at once.
    EXPECT_EQ(signals.Wait(), WaitEnd::Signal);
    EXPECT_EQ(signals.Received(), SIGINT);
}

TEST(StopSignalsWinTest, AWatchedPipesEndAndEndWaitsWakeTheWaiter) {
    StopSignals signals;
    int lifeline[2];
    ASSERT_EQ(_pipe(lifeline, 256, _O_BINARY), 0);
    auto waited = std::async(std::launch::async, [&] { return signals.Wait(lifeline[0]); });
    _close(lifeline[1]);
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(waited.get(), WaitEnd::Descriptor);
    _close(lifeline[0]);

    waited = std::async(std::launch::async, [&] { return signals.Wait(); });
    signals.EndWaits();
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(waited.get(), WaitEnd::Ended);
}

}  // namespace
}  // namespace norvo
