#include "saori/StopSignals.h"

// POSIX implementation: sigaction and a self-pipe. A port replaces this file.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace norvo {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

// Made once and never closed: a handler still running on another thread while an instance goes
// away must not write into a descriptor number that has meanwhile been reused.
int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_received = 0;
std::atomic<bool> g_ended{false};
struct sigaction g_previous[kSignalCount];

extern "C" void OnStopSignal(int signalNumber) {
    const int savedErrno = errno;
    if (g_received == 0) {
        g_received = signalNumber;
    }
    // A full pipe already wakes the waiter; nothing else may be done here.
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

bool MakePipe() {
    if (g_pipe[0] != -1) {
        return true;
    }
    return ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0;
}

// Empties the pipe; true when a signal's byte was among what it held.
bool DrainPipe() {
    bool signalled = false;
    unsigned char bytes[64];
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], bytes, sizeof bytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return signalled;
        }
        for (ssize_t i = 0; i < n; ++i) {
            signalled = signalled || bytes[i] != 0;
        }
    }
}

}  // namespace

StopSignals::StopSignals(Repeat repeat) {
    if (!MakePipe()) {
        return;
    }
    DrainPipe();
    g_received = 0;
    g_ended = false;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | (repeat == Repeat::EndsProgram ? SA_RESETHAND : 0);
    for (int i = 0; i < kSignalCount; ++i) {
        ::sigaction(kStopSignals[i], &action, &g_previous[i]);
    }
    m_active = true;
}

StopSignals::~StopSignals() {
    if (!m_active) {
        return;
    }
    for (int i = 0; i < kSignalCount; ++i) {
        ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
    }
}

int StopSignals::Received() const {
    return g_received;
}

StopSignals::WaitEnd StopSignals::Wait(int watched) {
    if (!m_active) {
        return WaitEnd::Ended;  // without the pipe nothing could ever wake the waiter
    }
    for (;;) {
        if (g_ended) {
            return WaitEnd::Ended;
        }
        pollfd fds[2] = {{g_pipe[0], POLLIN, 0}, {watched, POLLIN, 0}};
        const int ready = ::poll(fds, watched >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WaitEnd::Ended;  // nothing left to wait on
        }
        const bool signalled = (fds[0].revents & POLLIN) != 0 && DrainPipe();
        if (g_ended) {
            return WaitEnd::Ended;
        }
        if (signalled) {
            return WaitEnd::Signal;
        }
        if (watched >= 0 && fds[1].revents != 0) {
            return WaitEnd::Descriptor;
        }
    }
}

void StopSignals::EndWaits() {
    g_ended = true;
    if (!m_active) {
        return;
    }
    const unsigned char wake = 0;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &wake, 1);
}

}  // namespace norvo
