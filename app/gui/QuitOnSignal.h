#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <thread>

namespace norvo {

class StopSignals;

// Turns SIGINT, SIGTERM and SIGHUP into a call of `quit` on the GUI thread, so that a program
// stopped from a terminal or by its session still stops its lookup service and removes its work
// folder. One instance at a time; the previous handlers come back when it goes.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitOnSignal() override;

    // False when the signals could not be caught (they then end the program as before).
    bool IsActive() const;

signals:
    // From the waiting thread; reaches OnSignal on the GUI thread as a queued call, so no
    // functor is made on one thread and run on the other.
    void signalCaught();

private:
    void OnSignal();

    std::function<void()> m_quit;
    std::unique_ptr<StopSignals> m_signals;
    std::thread m_waiter;
};

}  // namespace norvo
