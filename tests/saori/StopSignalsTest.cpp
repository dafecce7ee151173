// The stop signals caught process-wide: whichever thread gets one, the waiter wakes.

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <thread>

#include "saori/StopSignals.h"

namespace norvo {
namespace {

using WaitEnd = StopSignals::WaitEnd;

struct sigaction Current(int signalNumber) {
    struct sigaction action = {};
    ::sigaction(signalNumber, nullptr, &action);
    return action;
}

extern "C" void MarkerHandler(int) {}

TEST(StopSignalsTest, ASignalToAnotherThreadWakesTheWaiterAndTheFirstIsKept) {
    StopSignals signals;
    ASSERT_TRUE(signals.IsActive());
    EXPECT_EQ(signals.Received(), 0);
    auto waited = std::async(std::launch::async, [&] { return signals.Wait(); });
    // A thread that only sleeps stands for one a library started: the signal goes to it.
    std::promise<void> done;
    std::thread bystander([ended = done.get_future()] { ended.wait(); });
    ASSERT_EQ(pthread_kill(bystander.native_handle(), SIGHUP), 0);
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(waited.get(), WaitEnd::Signal);
    ::raise(SIGINT);
    EXPECT_EQ(signals.Received(), SIGHUP);
    done.set_value();
    bystander.join();
    // The INT came while nobody waited: the next Wait takes it at once.
    EXPECT_EQ(signals.Wait(), WaitEnd::Signal);
}

TEST(StopSignalsTest, TheHandlerLeavesErrnoAsItWasEvenWhenItsWriteFails) {
    StopSignals signals;
    // Nobody drains the pipe, so it fills up and the handler's write fails with EAGAIN.
    for (int i = 0; i < 70000; ++i) {
        ::raise(SIGTERM);
    }
    errno = EDOM;
    ::raise(SIGTERM);
    EXPECT_EQ(errno, EDOM);
    EXPECT_EQ(signals.Wait(), WaitEnd::Signal);
    EXPECT_EQ(signals.Received(), SIGTERM);
}

TEST(StopSignalsTest, EndWaitsWakesTheWaiterForGoodAndAWatchedEndWakesItToo) {
    StopSignals signals;
    int lifeline[2];
    ASSERT_EQ(::pipe(lifeline), 0);
    auto waited = std::async(std::launch::async, [&] { return signals.Wait(lifeline[0]); });
    ::close(lifeline[1]);
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(waited.get(), WaitEnd::Descriptor);
    ::close(lifeline[0]);

    waited = std::async(std::launch::async, [&] { return signals.Wait(); });
    signals.EndWaits();
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    EXPECT_EQ(waited.get(), WaitEnd::Ended);
    ::raise(SIGINT);
    EXPECT_EQ(signals.Wait(), WaitEnd::Ended);
}

TEST(StopSignalsTest, ASecondSignalEndsTheProgramWhenAskedAndOldHandlersComeBack) {
    struct sigaction marker = {};
    marker.sa_handler = MarkerHandler;
    sigemptyset(&marker.sa_mask);
    struct sigaction saved = {};
    ::sigaction(SIGINT, &marker, &saved);
    {
        StopSignals signals(StopSignals::Repeat::EndsProgram);
        EXPECT_NE(Current(SIGINT).sa_handler, MarkerHandler);
        ::raise(SIGINT);
        EXPECT_EQ(Current(SIGINT).sa_handler, SIG_DFL);
        EXPECT_NE(Current(SIGTERM).sa_handler, SIG_DFL);
    }
    EXPECT_EQ(Current(SIGINT).sa_handler, MarkerHandler);
    ::sigaction(SIGINT, &saved, nullptr);
}

}  // namespace
}  // namespace norvo
