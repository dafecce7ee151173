#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace norvo {

// Turns SIGINT and SIGTERM into a call of `quit` on the GUI thread, so that a program stopped
// from a terminal or by its session still stops its lookup service and removes its work folder.
// One instance at a time; the previous handlers come back when it goes.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitOnSignal() override;

    // False when the signals could not be caught (they then end the program as before).
    bool IsActive() const { return m_notifier != nullptr; }

private:
    void OnSignal();

    std::function<void()> m_quit;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace norvo
