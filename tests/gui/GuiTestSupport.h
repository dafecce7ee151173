#pragma once

// Helpers shared by the window tests: a bounded wait that keeps the GUI thread's event loop
// turning, a gate a fake run thread can wait at, and the program's texts as the windows show
// them.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

namespace norvo::testing {

// One of the program's named texts (UTF-8) as a window shows it.
inline QString Shown(const std::string& text) {
    return QString::fromStdString(text);
}

// Upper bound of any wait in these tests: generous, so that a busy machine never reaches it,
// while a hang still fails instead of blocking the suite.
inline constexpr int kWaitLimitMs = 120000;

// Processes events until `done` holds or the limit passes; returns `done()`.
inline bool WaitUntil(const std::function<bool()>& done, int limitMs = kWaitLimitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Opened once by the test thread; a run thread waits at it.
class Gate {
public:
    void Open() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bOpen = true;
        m_changed.notify_all();
    }
    // Marks the caller as arrived and waits until the gate opens.
    void Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_bArrived = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_bOpen; });
    }
    bool Arrived() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bArrived;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bOpen = false;
    bool m_bArrived = false;
};

}  // namespace norvo::testing
