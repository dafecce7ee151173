#include "saori/StopSignals.h"

// Windows implementation: a console control handler. Windows runs it on a thread of its own,
// so it may set an event and, for a closing console, wait a little for the run to clean up.
// Ctrl-C counts as SIGINT, Ctrl-Break as SIGBREAK, closing the console, logging off and
// shutting down as SIGTERM. A watched descriptor is a C runtime descriptor of a pipe or file.

#include <io.h>
#include <windows.h>

#include <atomic>
#include <csignal>

namespace norvo {

namespace {

// Made once and never closed: a handler still running while an instance goes away must not
// set a handle that has meanwhile been closed and reused.
HANDLE g_wake = nullptr;
std::atomic<int> g_received{0};
std::atomic<int> g_pending{0};
std::atomic<bool> g_ended{false};
std::atomic<bool> g_endsProgram{false};

// How long a closing console waits for the program to finish its clean-up; Windows ends the
// process itself some seconds after the close.
constexpr DWORD kCloseGraceMs = 4500;

int SignalFor(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            return SIGINT;
        case CTRL_BREAK_EVENT:
            return SIGBREAK;
        default:
            return SIGTERM;
    }
}

BOOL WINAPI OnConsoleControl(DWORD event) {
    const int signalNumber = SignalFor(event);
    int expected = 0;
    const bool first = g_received.compare_exchange_strong(expected, signalNumber);
    if (!first && g_endsProgram && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)) {
        return FALSE;  // the next handler, in the end the default one, ends the program
    }
    ++g_pending;
    SetEvent(g_wake);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning ends the process at once: give the run its time to clean up first.
        const DWORD start = GetTickCount();
        while (!g_ended && GetTickCount() - start < kCloseGraceMs) {
            Sleep(50);
        }
    }
    return TRUE;
}

// Whether the watched descriptor has something to read, is at its end or is broken.
bool WatchedReady(int watched) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(watched));
    if (handle == INVALID_HANDLE_VALUE) {
        return true;
    }
    if (GetFileType(handle) != FILE_TYPE_PIPE) {
        return true;  // a file is always readable, as poll() says of it
    }
    DWORD available = 0;
    return !PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr) || available > 0;
}

}  // namespace

StopSignals::StopSignals(Repeat repeat) {
    if (!g_wake) {
        g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!g_wake) {
            return;
        }
    }
    g_received = 0;
    g_pending = 0;
    g_ended = false;
    g_endsProgram = repeat == Repeat::EndsProgram;
    ResetEvent(g_wake);
    // A program started in a new process group has Ctrl-C switched off: it is wanted here.
    SetConsoleCtrlHandler(nullptr, FALSE);
    m_active = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

StopSignals::~StopSignals() {
    if (m_active) {
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    }
}

int StopSignals::Received() const {
    return g_received;
}

StopSignals::WaitEnd StopSignals::Wait(int watched) {
    if (!m_active) {
        return WaitEnd::Ended;
    }
    for (;;) {
        if (g_ended) {
            return WaitEnd::Ended;
        }
        if (g_pending.exchange(0) > 0) {
            return WaitEnd::Signal;
        }
        if (watched >= 0 && WatchedReady(watched)) {
            return WaitEnd::Descriptor;
        }
        // A pipe cannot be waited on: look at it again every tenth of a second.
        WaitForSingleObject(g_wake, watched >= 0 ? 100 : INFINITE);
    }
}

void StopSignals::EndWaits() {
    g_ended = true;
    if (g_wake) {
        SetEvent(g_wake);
    }
}

}  // namespace norvo
